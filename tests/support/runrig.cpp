#include "support/runrig.h"

#include "support/imagefixtures.h"

#include <QDir>
#include <QFile>

using namespace fotolista;

RunRig::RunRig(const QString& watermarkFolder)
{
    QDir().mkpath(source);
    QDir().mkpath(destination);
    if (watermarkFolder.isEmpty()) {
        QDir().mkpath(marks);
        fixtures::writeJpeg(marks + "/agua.jpg", 408, 24, kBand);
        fixtures::writePng(marks + "/marca.png", 100, 50, kMark);
    }
    settings.useWatermarkFolder(watermarkFolder.isEmpty() ? marks : watermarkFolder);
    settings.restoreRunDefaults();
    settings.setSourceFolder(source);
    settings.setDestinationFolder(destination);
    settings.setWorkbookPath(dir.filePath("libro.xls"));
}

void RunRig::setRows(const QList<QPair<QString, QString>>& rows)
{
    reader.cells.clear();
    int row = 6;
    for (const auto& r : rows) {
        reader.cells.insert("F" + QString::number(row), r.first);
        reader.cells.insert("A" + QString::number(row), r.second);
        row += 4;
    }
}

void RunRig::addPhoto(const QString& name, int width, int height, quint32 rgb)
{
    fixtures::writeJpeg(source + "/" + name, width, height, rgb);
}

RunResult RunRig::run(int jobs, WorkbookReader* other)
{
    RunDriver driver(
        RunEnvironment{settings, ui, view, other ? *other : reader, placement, totals, control, logPath, jobs, cache});
    return driver.run();
}

QByteArray RunRig::logBytes() const
{
    QFile f(logPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
