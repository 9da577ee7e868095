// The files the Debian package carries beside the programs: the manual page
// and the shell completion must know every command and option the program
// has, and the metadata must name the project's version.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kProgram = QStringLiteral(FOTOLISTA_BIN_DIR "/fotolista-batch");
const QString kData = QStringLiteral(FOTOLISTA_SOURCE_DIR "/data/");
const QString kCompletion = kData + "fotolista-batch.bash-completion";
const QString kBashCompletion = QStringLiteral("/usr/share/bash-completion/bash_completion");

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

/// The commands and options `fotolista-batch --help` names.
QStringList namesInTheHelp()
{
    QProcess p;
    p.start(kProgram, {"--help"});
    p.waitForFinished();
    const QString help = QString::fromUtf8(p.readAllStandardOutput());
    QStringList names;
    static const QRegularExpression word(QStringLiteral("fotolista-batch (\\w+)|(--[a-z][a-z-]*)"));
    for (auto it = word.globalMatch(help); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        if (!names.contains(name))
            names << name;
    }
    return names;
}

/// What bash offers for the last of `words` (the command line so far), sorted.
QStringList completions(const QStringList& words, const QString& folder)
{
    const QString script =
        QStringLiteral(
            "source %1; source %2\n"
            "COMP_WORDS=(\"$@\"); COMP_CWORD=$(( $# - 1 )); COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
            "_fotolista_batch fotolista-batch \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
            "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
            .arg(kBashCompletion, kCompletion);
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start("bash", QStringList{"-c", script, "bash"} + words);
    p.waitForFinished();
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    out.sort();
    return out;
}

}  // namespace

class TestPackageFiles : public QObject {
    Q_OBJECT

private slots:
    void everyNameOfTheHelpIsDocumentedAndCompleted_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList names = namesInTheHelp();
        QVERIFY(names.contains("run") && names.contains("cells") && names.contains("--quality"));
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << name;
    }

    void everyNameOfTheHelpIsDocumentedAndCompleted()
    {
        QFETCH(QString, name);
        // troff writes each "-" of an option as "\-".
        QString inPage = name;
        inPage.replace("-", "\\-");
        QVERIFY2(readText(kData + "fotolista-batch.1")
                     .contains(
                         QRegularExpression("(^|[^\\w\\\\-])" + QRegularExpression::escape(inPage) + "($|[^\\w\\\\])")),
                 "missing from the manual page");
        QVERIFY2(readText(kCompletion)
                     .contains(QRegularExpression("(^|[\\s'|])" + QRegularExpression::escape(name) + "($|[\\s')|])")),
                 "missing from the completion");
    }

    void completion_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("commands") << QStringList{"fotolista-batch", ""}
                                  << QStringList{"--help", "--version", "cells", "check", "run", "watermark"};
        QTest::newRow("a command begun") << QStringList{"fotolista-batch", "ce"} << QStringList{"cells"};
        QTest::newRow("options begun") << QStringList{"fotolista-batch", "run", "--wat"}
                                       << QStringList{"--watermark", "--watermark-height"};
        QTest::newRow("qualities") << QStringList{"fotolista-batch", "run", "--quality", ""}
                                   << QStringList{"alta", "baja", "media", "muy-baja"};
        QTest::newRow("formats") << QStringList{"fotolista-batch", "run", "--format", ""}
                                 << QStringList{"any", "jpg", "tif"};
        QTest::newRow("a number is typed, not offered")
            << QStringList{"fotolista-batch", "run", "--step", ""} << QStringList{};
        QTest::newRow("the workbook first")
            << QStringList{"fotolista-batch", "run", ""} << QStringList{"catalogo.xls", "fotos", "lista.csv"};
        QTest::newRow("then the folders")
            << QStringList{"fotolista-batch", "run", "--fast", "catalogo.xls", ""} << QStringList{"fotos"};
        QTest::newRow("a flag takes no value")
            << QStringList{"fotolista-batch", "run", "--no-autorotate", "catalogo.xls", ""} << QStringList{"fotos"};
        QTest::newRow("after an option's value")
            << QStringList{"fotolista-batch", "run", "--jobs", "2", "catalogo.xls", "fotos", ""}
            << QStringList{"fotos"};
        QTest::newRow("watermark: its options, then a folder")
            << QStringList{"fotolista-batch", "watermark", "--t"} << QStringList{"--text", "--text-colour"};
        QTest::newRow("watermark: a logo is a picture")
            << QStringList{"fotolista-batch", "watermark", "--logo", ""} << QStringList{"foto.jpg", "fotos"};
        QTest::newRow("cells takes a workbook")
            << QStringList{"fotolista-batch", "cells", ""} << QStringList{"catalogo.xls", "fotos", "lista.csv"};
    }

    void completion()
    {
        QFETCH(QStringList, words);
        QFETCH(QStringList, offered);
        if (!QFile::exists(kBashCompletion))
            QSKIP("bash-completion is not installed (scripts/install-deps.sh installs it)");
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("fotos")));
        for (const char* name : {"catalogo.xls", "lista.csv", "foto.jpg"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(completions(words, dir.path()), offered);
    }

    void theMetadataNamesTheProjectsVersion()
    {
        const QRegularExpression release("<release version=\"([^\"]+)\"");
        QCOMPARE(release.match(readText(kData + "example.fotolista.fotolista.metainfo.xml")).captured(1),
                 QStringLiteral(FOTOLISTA_PROJECT_VERSION));
        const QRegularExpression entry("^fotolista \\(([^)]+)\\)");
        QCOMPARE(entry.match(readText(kData + "debian/changelog")).captured(1),
                 QStringLiteral(FOTOLISTA_PROJECT_VERSION));
    }
};

QTEST_GUILESS_MAIN(TestPackageFiles)
#include "tst_packagefiles.moc"
