#pragma once

#include <QtGlobal>

namespace fotolista {

/// Counters of a run and the kilobyte totals that outlive it. The totals are
/// reset only when a workbook is chosen, so two runs on one workbook add up.
struct RunTotals {
    qint64 passCount = 0;  ///< passes of the row loop so far
    qint64 notProcessedCount = 0;  ///< rows not processed (unnamed, missing, unsafe)
    qint64 kbReadTotal = 0;  ///< kilobytes of the sources of written rows
    qint64 kbWrittenTotal = 0;  ///< kilobytes of the large images written

    void resetKilobyteTotals() { kbReadTotal = kbWrittenTotal = 0; }
};

}  // namespace fotolista
