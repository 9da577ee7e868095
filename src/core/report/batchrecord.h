#pragma once

#include "core/check/batchcheck.h"
#include "core/run/rundriver.h"
#include "core/run/runview.h"
#include "core/workbook/workbookwalk.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace fotolista {

class JobSettings;

/// A setting as the head of the report names it.
struct ReportSetting {
    QString name;
    QString value;
};

/// One file of a row as the run left it: measured when it is there, else why not.
struct ReportFile {
    RowFileKind kind = RowFileKind::LargeJpeg;
    QString path;
    std::optional<qint64> bytes;  ///< set when the file was written (or left as it was)
    int width = 0;
    int height = 0;
    QString notWritten;  ///< why not, when `bytes` is empty
};

/// One handled row, with what the report shows beside it.
struct ReportRow {
    qint64 row = 0;  ///< workbook row of the origin cell
    RowReport report;
    QString largePath;
    QString smallPath;
    QString marketplacePath;
    std::optional<qint64> kbRead;  ///< kilobytes of the source, once the large copy is written
    std::optional<qint64> kbWritten;  ///< kilobytes of the large copy
    /// The large and the small JPEG, then each companion the run asked for
    /// (AVIF, WebP; large, small).
    std::vector<ReportFile> files;
    const ReportFile* file(RowFileKind kind) const;
};

/// Why a row gave no images, or nothing when it gave both.
QString missingImagesReason(const ReportRow& row);

/// What one run did, kept for its report: the settings it started with, the
/// check's findings from just before it, every row it handled in workbook
/// order, and how it ended.
class BatchRecord {
public:
    /// A run is about to start with `settings`; `check` is the check of the
    /// same batch.
    void begin(const JobSettings& settings, CheckResult check, const QDateTime& started);
    /// A row has been handled; its files are measured now, as the run left them.
    void addRow(const RowReport& report);
    void finish(const RunResult& result);

    /// Whether a run has begun (and so there is something to report).
    bool hasRun() const { return m_started.isValid(); }
    const std::vector<ReportSetting>& settings() const { return m_settings; }
    const CheckResult& check() const { return m_check; }
    const std::vector<ReportRow>& rows() const { return m_rows; }
    /// Empty while the run is in progress.
    std::optional<RunEnd> end() const { return m_end; }
    /// The empty row a completed run ended at, and the rows with data below it.
    qint64 stopRow() const { return m_stopRow; }
    qint64 rowsLeftAfterStop() const { return m_rowsLeftAfterStop; }
    /// Why errores.txt is not whole; empty when it is.
    QString logProblem() const { return m_logProblem; }
    QDateTime started() const { return m_started; }
    QString workbookPath() const { return m_workbookPath; }
    QString sourceFolder() const { return m_sourceFolder; }
    QString destinationFolder() const { return m_destinationFolder; }
    /// The file kinds of each row, in order: the two JPEGs and the companions asked for.
    const std::vector<RowFileKind>& fileKinds() const { return m_fileKinds; }

private:
    std::vector<ReportSetting> m_settings;
    CheckResult m_check;
    std::vector<ReportRow> m_rows;
    std::optional<RunEnd> m_end;
    qint64 m_stopRow = 0;
    qint64 m_rowsLeftAfterStop = 0;
    QString m_logProblem;
    QDateTime m_started;
    std::optional<WalkPlan> m_plan;
    QString m_workbookPath;
    QString m_sourceFolder;
    QString m_destinationFolder;
    std::vector<RowFileKind> m_fileKinds;
};

}  // namespace fotolista
