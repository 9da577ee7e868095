#pragma once

#include "core/base/filesystem.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace fotolista {

/// What a run must never write over: the photos its workbook reads, and the
/// images it has written itself. Files are told apart by identity, so a name
/// in other letter case, a link or a second name of the same file is caught
/// as the file system would resolve it.
class OutputGuard {
public:
    /// The photo at `path` is the source of the workbook row `row` (the
    /// first row that reads it is kept).
    void protectSource(const QString& path, qint64 row);
    /// The run has just written `path` for the workbook row `row`.
    void noteWritten(const QString& path, qint64 row);
    /// Whether `path` is an image this run wrote.
    bool writtenByThisRun(const QString& path) const;
    /// Why a row may not write `paths`; nothing when it may write them all.
    std::optional<QString> refusal(const QStringList& paths) const;

private:
    QHash<FileIdentity, qint64> m_sources;
    QHash<FileIdentity, qint64> m_written;
};

}  // namespace fotolista
