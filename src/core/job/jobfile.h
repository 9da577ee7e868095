#pragma once

#include "core/watermark/placement.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace fotolista {

class JobSettings;

/// A job as a `.fotolista` file keeps it: UTF-8 text, one `key=value` per
/// line, "#" lines are comments, the first key `fotolista-trabajo` gives the
/// version. Paths are stored as the settings hold them; a relative one is
/// read from the job file's folder. docs/job-files.md lists the keys.
struct JobFile {
    /// The keys the file sets, each checked, with their values as written
    /// (a relative path already made whole).
    QList<QPair<QString, QString>> values;
};

/// What reading a job gave: the job, or why it was refused; and the keys
/// that were ignored.
struct JobLoad {
    std::optional<JobFile> job;
    QString problem;  ///< names the line and the key when a value is wrong
    QStringList warnings;
};

/// The largest job file read: a job is a few hundred bytes.
inline constexpr qint64 kMaxJobFileBytes = 1024 * 1024;

/// Reads `bytes` as a job whose relative paths lie under `jobFolder`.
/// Nothing is applied: a job is only returned when every value is good.
JobLoad parseJob(const QByteArray& bytes, const QString& jobFolder);
/// Reads the job file at `path` (at most kMaxJobFileBytes, text only).
JobLoad readJobFile(const QString& path);

/// The file of the settings as they stand, and of the hand placement of the
/// mark when it is used; nothing, with `problem` set, when a value cannot be
/// kept in the file (a line break in a path or a cell field).
std::optional<QByteArray> jobBytes(const JobSettings& settings, const WatermarkPlacement& placement, QString* problem);

/// Sets every value of the job, the workbook first (which, as choosing a
/// workbook does, brings back the default widths and band height), so the
/// job's own widths stay. Returns the placement of the mark the job gives.
std::optional<WatermarkPlacement> applyJob(const JobFile& job, JobSettings& settings);

/// The first folder or workbook of the settings that does not exist, said
/// for the user ("la carpeta fuente «…» no existe"); nothing when all exist.
std::optional<QString> missingJobPath(const JobSettings& settings);

/// Writes `bytes` at `path` whole or not at all, never through a link
/// (writeFileSafely). False, with `problem` set, when it cannot.
bool writeJobFile(const QString& path, const QByteArray& bytes, QString* problem);

}  // namespace fotolista
