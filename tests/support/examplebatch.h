#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

/// The example batch of examples/ (catalogo.xls and its photos) copied into a
/// temporary folder, with an empty destination folder beside it.
struct ExampleBatch {
    QTemporaryDir dir;
    QString workbook = dir.filePath("catalogo.xls");
    QString source = dir.filePath("fotos");
    QString destination = dir.filePath("salida");

    ExampleBatch()
    {
        const QString examples = QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples");
        QFile::copy(examples + "/catalogo.xls", workbook);
        QDir().mkpath(source);
        QDir().mkpath(destination);
        for (const QString& name : QDir(examples + "/fotos").entryList(QDir::Files))
            QFile::copy(examples + "/fotos/" + name, source + "/" + name);
    }
};
