#include "core/base/caseblindfinder.h"
#include "core/base/filesystem.h"
#include "core/base/relativenames.h"
#include "core/base/shownpaths.h"
#include "core/run/sourcematching.h"
#include "support/imagefixtures.h"
#include "support/scripteduiservices.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

Q_DECLARE_METATYPE(RowFate)

namespace {

void touch(const QString& path, int bytes = 10)
{
    fixtures::writeBytes(path, QByteArray(bytes, 'x'));
}

}  // namespace

class TestSourceMatching : public QObject {
    Q_OBJECT

private slots:
    void fates_data()
    {
        QTest::addColumn<QStringList>("files");  // a name ending in "/" is a folder
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("format");
        QTest::addColumn<RowFate>("fate");
        QTest::addColumn<QString>("found");

        QTest::newRow("exact name") << QStringList{"12345.JPG"} << "12345"
                                    << "ABC"
                                    << ".JPG" << RowFate::Found << "12345.JPG";
        QTest::newRow("lower-case extension") << QStringList{"12345.jpg"} << "12345"
                                              << "ABC"
                                              << ".JPG" << RowFate::Found << "12345.jpg";
        QTest::newRow("mixed case name") << QStringList{"Abc.Jpg"} << "aBC"
                                         << "ABC"
                                         << ".JPG" << RowFate::Found << "Abc.Jpg";
        QTest::newRow("exact case wins") << QStringList{"abc.jpg", "ABC.JPG"} << "ABC"
                                         << "ABC"
                                         << ".JPG" << RowFate::Found << "ABC.JPG";
        QTest::newRow("jpeg only") << QStringList{"12345.jpeg"} << "12345"
                                   << "ABC"
                                   << ".JPG" << RowFate::Missing << "";
        QTest::newRow("no prefix match") << QStringList{"123456.jpg"} << "12345"
                                         << "ABC"
                                         << ".JPG" << RowFate::Missing << "";
        QTest::newRow("trailing blank") << QStringList{"12345.jpg"} << "12345 "
                                        << "ABC"
                                        << ".JPG" << RowFate::Missing << "";
        QTest::newRow("trailing blank present") << QStringList{"12345 .jpg"} << "12345 "
                                                << "ABC"
                                                << ".JPG" << RowFate::Found << "12345 .jpg";
        QTest::newRow("hidden file") << QStringList{".12345.JPG"} << ".12345"
                                     << "ABC"
                                     << ".JPG" << RowFate::Missing << "";
        QTest::newRow("tif") << QStringList{"12345.tif"} << "12345"
                             << "ABC"
                             << ".TIF" << RowFate::Found << "12345.tif";
        QTest::newRow("tif not jpg") << QStringList{"12345.jpg"} << "12345"
                                     << "ABC"
                                     << ".TIF" << RowFate::Missing << "";
        QTest::newRow("empty origin") << QStringList{".JPG"} << ""
                                      << "ABC"
                                      << ".JPG" << RowFate::Unnamed << "";
        QTest::newRow("sub-folder with backslash") << QStringList{"Camisas/12345.JPG"} << "camisas\\12345"
                                                   << "ABC"
                                                   << ".JPG" << RowFate::Found << "Camisas/12345.JPG";
        QTest::newRow("sub-folder with slash") << QStringList{"camisas/12345.jpg"} << "camisas/12345"
                                               << "ABC"
                                               << ".JPG" << RowFate::Found << "camisas/12345.jpg";
        QTest::newRow("parent folder") << QStringList{"12345.jpg"} << "..\\fuente\\12345"
                                       << "ABC"
                                       << ".JPG" << RowFate::Unsafe << "";
        QTest::newRow("absolute") << QStringList{"12345.jpg"} << "/etc/passwd"
                                  << "ABC"
                                  << ".JPG" << RowFate::Unsafe << "";
        QTest::newRow("drive letter") << QStringList{"12345.jpg"} << "C:\\fotos\\12345"
                                      << "ABC"
                                      << ".JPG" << RowFate::Unsafe << "";
        QTest::newRow("a folder named like a picture") << QStringList{"12345.JPG/"} << "12345"
                                                       << "ABC"
                                                       << ".JPG" << RowFate::Missing << "";
        QTest::newRow("destination in a sub-folder") << QStringList{"12345.jpg"} << "12345"
                                                     << "ropa\\ABC"
                                                     << ".JPG" << RowFate::Found << "12345.jpg";
        QTest::newRow("destination in a parent folder") << QStringList{"12345.jpg"} << "12345"
                                                        << "..\\..\\ABC"
                                                        << ".JPG" << RowFate::Unsafe << "";
        QTest::newRow("absolute destination") << QStringList{"12345.jpg"} << "12345"
                                              << "/tmp/ABC"
                                              << ".JPG" << RowFate::Unsafe << "";
    }

    void fates()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, origin);
        QFETCH(QString, destination);
        QFETCH(QString, format);
        QFETCH(RowFate, fate);
        QFETCH(QString, found);

        QTemporaryDir dir;
        for (const QString& f : files) {
            QDir(dir.path()).mkpath(QFileInfo(dir.filePath(f)).absolutePath());
            if (!f.endsWith('/'))
                touch(dir.filePath(f));
        }
        // Names that differ only in case are one file where the file system folds case.
        QSet<QString> topNames;
        for (const QString& f : files)
            topNames.insert(f.section('/', 0, 0));
        if (QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size()
            < topNames.size())
            QSKIP("the file system folds letter case: these names are one file here");
        CaseBlindFinder finder;
        const SourceMatch m = matchSource(finder, dir.path(), origin, destination, format);
        QCOMPARE(m.fate, fate);
        if (fate != RowFate::Unnamed)
            QCOMPARE(m.sourcePath, shownPath(dir.path() + "/" + origin + format));
        if (!found.isEmpty())
            QCOMPARE(m.resolvedPath, dir.filePath(found));
        else
            QVERIFY(m.resolvedPath.isEmpty());
    }

    void anyFormatTakesTheFirstExtensionThatExists_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<RowFate>("fate");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("extension");  // as the user reads it

        QTest::newRow("png") << QStringList{"12345.png"} << "12345" << RowFate::Found << "12345.png"
                             << ".png";
        QTest::newRow("names differing only in extension: jpg first")
            << QStringList{"12345.png", "12345.JPG"} << "12345" << RowFate::Found << "12345.JPG"
            << ".JPG";
        QTest::newRow("jpeg before tif") << QStringList{"12345.tif", "12345.jpeg"} << "12345" << RowFate::Found
                                         << "12345.jpeg"
                                         << ".jpeg";
        QTest::newRow("tiff before png") << QStringList{"12345.png", "12345.TIFF"} << "12345" << RowFate::Found
                                         << "12345.TIFF"
                                         << ".TIFF";
        QTest::newRow("webp before heic")
            << QStringList{"12345.heic", "12345.webp"} << "12345" << RowFate::Found << "12345.webp"
            << ".webp";
        QTest::newRow("heic in capitals") << QStringList{"12345.HEIC"} << "12345" << RowFate::Found << "12345.HEIC"
                                          << ".HEIC";
        QTest::newRow("heif before avif")
            << QStringList{"12345.avif", "12345.heif"} << "12345" << RowFate::Found << "12345.heif"
            << ".heif";
        QTest::newRow("avif") << QStringList{"12345.Avif"} << "12345" << RowFate::Found << "12345.Avif"
                              << ".Avif";
        QTest::newRow("an extension not read") << QStringList{"12345.gif"} << "12345" << RowFate::Missing << ""
                                               << ".*";
        QTest::newRow("no extension") << QStringList{"12345"} << "12345" << RowFate::Missing << ""
                                      << ".*";
        QTest::newRow("a folder named like a picture") << QStringList{"12345.png/"} << "12345" << RowFate::Missing << ""
                                                       << ".*";
        QTest::newRow("sub-folder") << QStringList{"Camisas/12345.webp"} << "camisas\\12345" << RowFate::Found
                                    << "Camisas/12345.webp"
                                    << ".webp";
        QTest::newRow("parent folder") << QStringList{"12345.png"} << "..\\fuente\\12345" << RowFate::Unsafe << ""
                                       << ".*";
    }

    void anyFormatTakesTheFirstExtensionThatExists()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, origin);
        QFETCH(RowFate, fate);
        QFETCH(QString, found);
        QFETCH(QString, extension);

        QTemporaryDir dir;
        for (const QString& f : files) {
            QDir(dir.path()).mkpath(QFileInfo(dir.filePath(f)).absolutePath());
            if (!f.endsWith('/'))
                touch(dir.filePath(f));
        }
        CaseBlindFinder finder;
        const SourceMatch m = matchSource(finder, dir.path(), origin, "ABC", ".*");
        QCOMPARE(m.fate, fate);
        QCOMPARE(m.extension, extension);
        QCOMPARE(m.sourcePath, shownPath(dir.path() + "/" + origin + extension));
        QCOMPARE(m.resolvedPath, found.isEmpty() ? QString() : dir.filePath(found));
    }

    void aMissingFolderMakesEveryNamedRowMissing()
    {
        CaseBlindFinder finder;
        QCOMPARE(matchSource(finder, "/no/such/folder", "12345", "ABC", ".JPG").fate, RowFate::Missing);
    }

    void folderSizeCountsSubFoldersAndMissingIsZero()
    {
        QTemporaryDir dir;
        touch(dir.filePath("a.txt"), 30);
        QDir(dir.path()).mkpath("sub/deeper");
        touch(dir.filePath("sub/b.jpg"), 15);
        touch(dir.filePath("sub/deeper/.hidden"), 7);
        QCOMPARE(folderSize(dir.path()), 52);
        QCOMPARE(folderSize(dir.filePath("nothing")), 0);
        QCOMPARE(folderSize(dir.filePath("a.txt")), 0);
        QCOMPARE(fileSize(dir.filePath("sub/b.jpg")).value(), 15);
        QVERIFY(!fileSize(dir.filePath("sub")).has_value());
    }

    void sourceFolderWarning_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("warned");
        QTest::newRow("empty") << 0 << true;
        QTest::newRow("50 bytes") << 50 << true;
        QTest::newRow("51 bytes") << 51 << false;
        QTest::newRow("a 60-byte text file") << 60 << false;
    }

    void sourceFolderWarning()
    {
        QFETCH(int, bytes);
        QFETCH(bool, warned);
        QTemporaryDir dir;
        if (bytes > 0)
            touch(dir.filePath("notas.txt"), bytes);
        ScriptedUiServices ui;
        warnIfSourceFolderEmpty(ui, dir.path());
        QCOMPARE(ui.calls.size(), warned ? 1 : 0);
        if (warned) {
            QCOMPARE(ui.calls[0].text,
                     QStringLiteral("No existen archivos en la carpeta fuente especificada, incluya los JPGs"));
            QCOMPARE(ui.calls[0].icon, MessageIcon::Critical);
            QCOMPARE(ui.calls[0].title, QString());  // the program's title
        }
    }

    void unchosenFolderWarns()
    {
        ScriptedUiServices ui;
        warnIfSourceFolderEmpty(ui, QStringLiteral("ruta de imágenes fuente"));
        QCOMPARE(ui.messageTexts(),
                 QStringList{"No existen archivos en la carpeta fuente especificada, incluya los JPGs"});
    }

    void finderListsAFolderOnce()
    {
        QTemporaryDir dir;
        touch(dir.filePath("A.jpg"));
        CaseBlindFinder finder;
        QVERIFY(finder.find(dir.path(), "a.JPG"));
        touch(dir.filePath("B.jpg"));
        // The listing is kept for the run: a file that appears later is not seen.
        QVERIFY(!finder.find(dir.path(), "b.jpg"));
        finder = CaseBlindFinder();
        QVERIFY(finder.find(dir.path(), "b.jpg"));
    }

    void aFileRemovedAfterTheListingIsNotFound()
    {
        QTemporaryDir dir;
        touch(dir.filePath("a.jpg"));
        touch(dir.filePath("A.JPG"));
        touch(dir.filePath("b.jpg"));
        if (QDir(dir.path()).entryList(QDir::Files).size() < 3)
            QSKIP("the file system folds letter case: a.jpg and A.JPG are one file here");
        CaseBlindFinder finder;
        QCOMPARE(finder.find(dir.path(), "a.jpg"), dir.filePath("a.jpg"));
        QFile::remove(dir.filePath("a.jpg"));
        QFile::remove(dir.filePath("b.jpg"));
        // As if they had never been there: the other spelling is found, the lone one is missing.
        QCOMPARE(finder.find(dir.path(), "a.jpg"), dir.filePath("A.JPG"));
        QCOMPARE(finder.find(dir.path(), "b.jpg"), std::nullopt);
        QCOMPARE(matchSource(finder, dir.path(), "b", "B", ".jpg").fate, RowFate::Missing);
    }

    void namesWindowsKeepsForItself_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");  // more parts follow it
        QTest::addColumn<int>("onWindows");  // 0 taken, 1 refused, 2 the write would land elsewhere
        QTest::newRow("plain") << "ABC.jpg" << false << 0;
        QTest::newRow("device") << "NUL.jpg" << false << 2;
        QTest::newRow("device, any case, no extension") << "con" << false << 2;
        QTest::newRow("device, blanks before the dot") << "Com1 .jpg" << false << 2;
        QTest::newRow("device with a superscript") << "LPT\u00B9.jpg" << false << 2;
        QTest::newRow("a longer name") << "CONSOLA.jpg" << false << 0;
        QTest::newRow("stream of another file") << "ABC:oculto.jpg" << false << 2;
        QTest::newRow("quote") << "dice \"hola\".jpg" << false << 1;
        QTest::newRow("control character") << "a\tb.jpg" << false << 1;
        QTest::newRow("folder ending in a dot") << "ropa." << true << 1;
        QTest::newRow("folder ending in a blank") << "ropa " << true << 1;
        QTest::newRow("file ending in a blank, before its extension") << "ABC " << false << 0;
    }

    // Linux takes every one of these names; Windows refuses some and would
    // send others elsewhere, which no row may write to.
    void namesWindowsKeepsForItself()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(int, onWindows);
        const std::optional<NameRefusal> refusal = systemNameRefusal(name, folder);
#ifdef Q_OS_WIN
        QCOMPARE(refusal.has_value(), onWindows != 0);
        if (refusal) {
            QCOMPARE(refusal->leavesFolder, onWindows == 2);
            QVERIFY(!refusal->why.isEmpty());
        }
#else
        QVERIFY(!refusal);
        onWindows = 0;
#endif
        const QString relative = folder ? name + "/ABC.jpg" : "ropa/" + name;
        QCOMPARE(isSafeRelativeName(relative), onWindows != 2);
    }
};

QTEST_GUILESS_MAIN(TestSourceMatching)
#include "tst_sourcematching.moc"
