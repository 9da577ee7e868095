#pragma once

#include "core/base/shownpaths.h"
#include "core/run/rundriver.h"
#include "core/settings/jobsettings.h"
#include "core/summary/runtotals.h"
#include "core/watermark/placement.h"
#include "support/fakeworkbookreader.h"
#include "support/recordingrunview.h"
#include "support/scripteduiservices.h"

#include <QPair>
#include <QTemporaryDir>

using namespace fotolista;

/// Everything a run needs, in a temporary folder: source, destination and
/// watermark folders, a workbook in memory, scripted services and a recording
/// view. The settings are those of a window whose workbook has been chosen,
/// with every folder set.
struct RunRig {
    /// Colours of the test watermark: a 408 x 24 band and a 100 x 50 mark.
    static constexpr quint32 kBand = 0x0000FF;
    static constexpr quint32 kMark = 0xFF0000;

    /// `watermarkFolder` empty: the test watermark, written into marks/.
    explicit RunRig(const QString& watermarkFolder = {});

    QTemporaryDir dir;
    QString source = dir.filePath("fuente");
    QString destination = dir.filePath("destino");
    QString marks = dir.filePath("marcas");
    QString logPath = dir.filePath("errores.txt");
    /// The fingerprints of "Solo cambiadas", away from the user's own and
    /// from everything a run may write.
    QTemporaryDir cacheDir;
    QString cache = cacheDir.path();
    JobSettings settings{dir.filePath("numeros")};
    ScriptedUiServices ui;
    RecordingRunView view;
    FakeWorkbookReader reader;
    FixedPlacement placement;
    RunTotals totals;
    RunControl control;

    /// Rows 6, 10, 14, ... of columns F (origin) and A (destination).
    void setRows(const QList<QPair<QString, QString>>& rows);
    /// A plain grey JPEG in the source folder.
    void addPhoto(const QString& name, int width = 400, int height = 300, quint32 rgb = 0x808080);

    /// One run with `jobs` preparing threads, from `other` when given.
    RunResult run(int jobs = 1, WorkbookReader* other = nullptr);
    /// The outcome of the k-th handled row (found rows only).
    RowOutcome outcome(int k = 0) const { return view.rows.at(k).outcome.value(); }

    QByteArray logBytes() const;
    QString large(const QString& name) const { return destination + "/" + name + ".jpg"; }
    QString small(const QString& name) const { return destination + "/pequeñas/" + name + "_p.jpg"; }
    /// The batch line while `file` (in the source folder) is read.
    static QString reading(const QString& file) { return "Leyendo imagen: " + shownPath("/" + file); }
};
