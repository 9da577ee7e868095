#pragma once

#include "core/run/rowfingerprints.h"
#include "core/run/runview.h"

#include <QString>

#include <optional>

namespace fotolista {

class JobSettings;
class PlacementSource;
class UiServices;
class WorkbookReader;
struct RunTotals;

/// The cancel request, shared by the window (or the command) and the run.
/// The run looks at it only at the end of a pass, so the row in progress is
/// always finished.
struct RunControl {
    bool stopRequested = false;
};

/// The "cancelar" button: the placement button hides, the stop is requested,
/// the process button comes back at once, and the transparency slider and the
/// default-watermark mark go. The run finishes its row, then stops.
void requestCancel(RunControl& control, RunView& view);

/// How a run ended.
enum class RunEnd {
    Refused,  ///< nothing chosen, or bad start rows or step: no run
    WorkbookUnreadable,  ///< the workbook could not be read: no run
    Completed,  ///< the stop row was reached
    Stopped,  ///< "cancelar" was honoured at the end of a pass, or while waiting for the destination
    DestinationBusy,  ///< another run writes into the destination, and this one was told not to wait: no run
};

/// Figures of a run for whoever started it.
struct RunResult {
    RunEnd end = RunEnd::Refused;
    qint64 completeRowCount = 0;
    qint64 rowsHandled = 0;
    qint64 notProcessed = 0;  ///< unnamed, missing or unsafe
    qint64 written = 0;  ///< both copies written
    qint64 withoutOutput = 0;  ///< not decoded, or cells no longer matching
    qint64 writeFailures = 0;  ///< either copy could not be written
    qint64 unchanged = 0;  ///< skipped under "Solo cambiadas": nothing to make again
    qint64 stopRow = 0;  ///< the empty row where a completed run stopped (origin cell's row)
    qint64 rowsLeftAfterStop = 0;  ///< rows with data below it that the run did not reach
    /// Why errores.txt could not be created or lost a line; empty when it is whole.
    QString logProblem;
};

/// What a run is given: the live settings, the user, the view and the rest.
struct RunEnvironment {
    JobSettings& settings;
    UiServices& ui;
    RunView& view;
    WorkbookReader& reader;
    PlacementSource& placement;
    RunTotals& totals;
    RunControl& control;
    QString logPath;  ///< "errores.txt" in the working folder for the window
    /// Threads that decode and rescale the rows ahead; at least 1.
    int jobs = 1;
    /// Where the fingerprints of "Solo cambiadas" are kept.
    QString fingerprintFolder = defaultFingerprintFolder();
    /// Whether a run finding another one on its destination waits for it
    /// (the window, the command by default) or gives up (--no-wait).
    bool waitForDestination = true;
};

/// What the run says when another one holds its destination: that it
/// waits, or that it gives up.
QString destinationBusyText(const QString& destinationFolder, bool waiting);

/// Why a run with these settings would be refused before it opens the
/// workbook (a folder or the workbook unset, a cell setting that cannot be
/// walked); nothing when it can start.
std::optional<QString> runRefusal(const JobSettings& settings);

/// The batch run: validates, walks the workbook row by row, has each found
/// row's images made, records every row, and ends with the counters. It runs
/// on the caller's thread and lets the user in through UiServices::yieldToUser.
class RunDriver {
public:
    explicit RunDriver(RunEnvironment env);

    RunResult run();

    /// Whether run() is in progress (a second start must wait for it).
    bool isRunning() const { return m_running; }

    static QString refusalMessage();
    static QString refusalTitle();

private:
    RunEnvironment m_env;
    bool m_running = false;
};

}  // namespace fotolista
