#include "core/image/bitmap.h"
#include "core/run/rundriver.h"
#include "core/settings/jobsettings.h"
#include "core/summary/runtotals.h"
#include "core/workbook/open/workbookfilereader.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"
#include "support/tifffixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

Q_DECLARE_METATYPE(RowOutcome)

namespace {

/// A small real JPEG whose frame header claims another size.
QByteArray jpegClaiming(int width, int height)
{
    QTemporaryDir dir;
    fixtures::writeJpeg(dir.filePath("x.jpg"), 16, 16);
    return fixtures::jpegClaimingSize(fixtures::readBytes(dir.filePath("x.jpg")), width, height);
}

/// A small real TIFF whose first directory claims another size.
QByteArray tiffClaiming(quint32 width, quint32 height)
{
    QTemporaryDir dir;
    fixtures::writeTiff(dir.filePath("x.tif"), 8, 8, fixtures::TiffKind::Rgb24);
    QByteArray bytes = fixtures::readBytes(dir.filePath("x.tif"));
    if (!bytes.startsWith("II"))
        return {};
    const auto u16 = [&](qsizetype at) { return quint16(uchar(bytes[at]) | uchar(bytes[at + 1]) << 8); };
    const auto put32 = [&](qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    const quint32 ifd = quint32(uchar(bytes[4]) | uchar(bytes[5]) << 8 | uchar(bytes[6]) << 16 | uchar(bytes[7]) << 24);
    const quint16 count = u16(ifd);
    for (quint16 i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        const quint16 tag = u16(entry);
        if (tag == 256 || tag == 257) {
            bytes[entry + 2] = 4;  // LONG, for values past 65535
            bytes[entry + 3] = 0;
            put32(entry + 8, tag == 256 ? width : height);
        }
    }
    return bytes;
}

}  // namespace

class TestBadInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }

    void damagedSourcesWriteNothing_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<RowOutcome>("outcome");

        QTemporaryDir dir;
        fixtures::writeTwoToneJpeg(dir.filePath("a.jpg"), 300, 200, 0x102030, 0xA0B0C0);
        const QByteArray jpeg = fixtures::readBytes(dir.filePath("a.jpg"));
        fixtures::writeTiff(dir.filePath("a.tif"), 300, 200, fixtures::TiffKind::Rgb24);
        const QByteArray tiff = fixtures::readBytes(dir.filePath("a.tif"));
        QByteArray noise(20000, '\0');
        QRandomGenerator rnd(7);
        for (char& c : noise)
            c = char(rnd.bounded(256));

        // Wide enough for the fast read to reduce it: its own decoder must refuse it too.
        fixtures::writePhotoJpeg(dir.filePath("wide.jpg"), 2000, 1500, 90);
        const QByteArray wide = fixtures::readBytes(dir.filePath("wide.jpg"));

        QTest::newRow("truncated JPEG") << ".JPG" << jpeg.left(jpeg.size() / 2) << RowOutcome::NotDecoded;
        QTest::newRow("truncated JPEG, fast read")
            << "fast.JPG" << wide.left(wide.size() / 2) << RowOutcome::NotDecoded;
        QTest::newRow("empty JPEG") << ".JPG" << QByteArray() << RowOutcome::NotDecoded;
        QTest::newRow("random-byte JPEG") << ".JPG" << noise << RowOutcome::NotDecoded;
        QTest::newRow("truncated TIFF") << ".TIF" << tiff.left(tiff.size() / 3) << RowOutcome::NotDecoded;
        QTest::newRow("empty TIFF") << ".TIF" << QByteArray() << RowOutcome::NotDecoded;
        QTest::newRow("random-byte TIFF") << ".TIF" << noise << RowOutcome::NotDecoded;
        // Its directory first, as cameras write it: cut, it still has one.
        const QByteArray cameraTiff = fixtures::handmadeTiff(300, 200);
        QTest::newRow("TIFF cut to 60 %")
            << ".TIF" << cameraTiff.left(cameraTiff.size() * 6 / 10) << RowOutcome::NotDecoded;
        // The image library asserts on it: the run must end this row only.
        QByteArray separate = fixtures::handmadeTiff(300, 200, fixtures::TiffLayout{1, 1, 1});
        fixtures::setTiffTag(separate, 284, 2);
        QTest::newRow("1-bit TIFF in separate planes") << ".TIF" << separate << RowOutcome::NotDecoded;
        QTest::newRow("JPEG claiming 60000 x 60000") << ".JPG" << jpegClaiming(60000, 60000) << RowOutcome::TooLarge;
        QTest::newRow("TIFF claiming 100000 x 100000")
            << ".TIF" << tiffClaiming(100000, 100000) << RowOutcome::TooLarge;
    }

    void damagedSourcesWriteNothing()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(RowOutcome, outcome);
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        if (format == ".TIF")
            rig.settings.chooseTiffSource();
        if (format.startsWith("fast")) {
            rig.settings.setFastRead(true);
            format.remove(0, 4);
        }
        QVERIFY(fixtures::writeBytes(rig.source + "/1" + format.toLower(), bytes));
        fixtures::writeJpeg(rig.source + "/2.jpg", 300, 200);
        fixtures::writeTiff(rig.source + "/2.tif", 300, 200, fixtures::TiffKind::Rgb24);
        fixtures::writeBytes(rig.destination + "/UNO.jpg", "an earlier result");
        rig.setRows({{"1", "UNO"}, {"2", "DOS"}});

        QElapsedTimer t;
        t.start();
        const RunResult result = rig.run(2);
        QVERIFY2(t.elapsed() < 20000, "refused before decoding");
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(rig.view.rows[0].outcome.value(), outcome);
        QCOMPARE(rig.view.rows[1].outcome.value(), RowOutcome::Written);
        // The earlier result is untouched, and nothing else appeared for the row.
        QCOMPARE(fixtures::readBytes(rig.destination + "/UNO.jpg"), QByteArray("an earlier result"));
        QCOMPARE(fixtures::filesUnder(rig.destination), (QStringList{"DOS.jpg", "UNO.jpg", "pequeñas/DOS_p.jpg"}));
        const QStringList messages = rig.ui.messageTexts();
        if (outcome == RowOutcome::TooLarge)
            QCOMPARE(messages, QStringList{"Se ha producido un error en la escritura"});
        else
            QVERIFY(messages.isEmpty());
        // Found rows stay black entries; the log and a red line say why no image came.
        QCOMPARE(rig.view.tree.roots()[0].children.size(), 2);
        const QByteArray log = fixtures::readBytes(rig.logPath);
        QCOMPARE(log.count("\r\n"), 1);
        QVERIFY2(log.startsWith("1 - C.O: F6 valor: 1") && log.contains("|| No se"), log.constData());
        QCOMPARE(rig.view.tree.roots()[0].children[0].children.constLast().colour, kEntryRed);
    }

    void targetsBeyondTheLimitAreRefused_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("largeWidth");
        QTest::newRow("width typed as 32767") << 4000 << 3000 << 32767;
        QTest::newRow("a 1 x 10000 source") << 1 << 10000 << 409;
    }

    void targetsBeyondTheLimitAreRefused()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, largeWidth);
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        rig.settings.setLargeWidth(qint16(largeWidth));
        QVERIFY(fixtures::writeJpeg(rig.source + "/1.jpg", w, h));
        rig.setRows({{"1", "UNO"}});
        const RunResult result = rig.run(2);
        QCOMPARE(rig.view.rows[0].outcome.value(), RowOutcome::TooLarge);
        QCOMPARE(result.writeFailures, 1);
        QCOMPARE(rig.ui.messageTexts(), QStringList{"Se ha producido un error en la escritura"});
        QVERIFY(fixtures::filesUnder(rig.destination).isEmpty());
    }

    void aSourceFolderRemovedDuringTheRun()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        for (int i = 1; i <= 4; ++i)
            fixtures::writeJpeg(rig.source + "/" + QString::number(i) + ".jpg", 1200, 900);
        rig.setRows({{"1", "A"}, {"2", "B"}, {"3", "C"}, {"4", "D"}});
        rig.ui.onYield = [&](int) {
            if (rig.view.batchText == rig.reading("1.JPG"))
                QDir(rig.source).removeRecursively();
        };
        const RunResult result = rig.run(1);
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.rowsHandled, 4);
        QVERIFY(QFile::exists(rig.destination + "/A.jpg"));
        // Rows prepared before the folder went may still be written; none is half-written.
        for (const QString& f : fixtures::filesUnder(rig.destination))
            QVERIFY2(fixtures::decode(rig.destination + "/" + f).width > 0, qPrintable(f));
        QCOMPARE(result.written + result.withoutOutput + result.notProcessed, 4);
    }

    void aWorkbookDeletedDuringTheRun()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        const QString book = rig.dir.filePath("catalogo.xls");
        QVERIFY(QFile::copy(QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples/catalogo.xls"), book));
        rig.settings.setWorkbookPath(book);
        for (const QString& name : QDir(QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples/fotos")).entryList(QDir::Files))
            QFile::copy(QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples/fotos/") + name, rig.source + "/" + name);
        WorkbookFileReader reader;
        rig.ui.onYield = [&](int) { QFile::remove(book); };
        const RunResult result = rig.run(2, &reader);
        QVERIFY(!QFile::exists(book));
        // What was read when the run started is what the run goes on with.
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.rowsHandled, 8);
        QCOMPARE(result.written, 6);
    }

    void hostileCellTexts_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("notProcessed");
        QTest::addColumn<int>("writeFailures");
        const QString huge(32000, QLatin1Char('x'));
        QTest::newRow("32000-character origin") << huge << "A" << 1 << 0;
        QTest::newRow("32000-character destination") << "1" << huge << 0 << 1;
        QTest::newRow("control characters") << "1\n\r\t\x01"
                                            << "A\x07" << 1 << 0;
        QTest::newRow("NUL in the destination") << "1" << QString("A") + QChar(0) + "B" << 1 << 0;
        QTest::newRow("parent folder in the origin") << "..\\fuente\\1"
                                                     << "A" << 1 << 0;
        QTest::newRow("parent folder in the destination") << "1"
                                                          << "..\\..\\A" << 1 << 0;
        QTest::newRow("absolute destination") << "1"
                                              << "/tmp/A" << 1 << 0;
        QTest::newRow("destination in a folder that is not there") << "1"
                                                                   << "no\\A" << 0 << 1;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QString(QChar(0xDC00)) << 1 << 0;
    }

    void hostileCellTexts()
    {
        QFETCH(QString, origin);
        QFETCH(QString, destination);
        QFETCH(int, notProcessed);
        QFETCH(int, writeFailures);
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        fixtures::writeJpeg(rig.source + "/1.jpg", 400, 300);
        rig.setRows({{origin, destination}, {"1", "BIEN"}});
        const QStringList outsideBefore = fixtures::filesUnder(rig.dir.path());
        const RunResult result = rig.run(2);
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.notProcessed, notProcessed);
        QCOMPARE(result.writeFailures, writeFailures);
        QCOMPARE(result.written, 1);
        // Only BIEN and the log were added anywhere.
        QStringList after = fixtures::filesUnder(rig.dir.path());
        for (const QString& f : outsideBefore)
            after.removeOne(f);
        after.removeOne("errores.txt");
        QCOMPARE(after, (QStringList{"destino/BIEN.jpg", "destino/pequeñas/BIEN_p.jpg"}));
        if (notProcessed)
            QCOMPARE(fixtures::readBytes(rig.logPath).count("\r\n"), 1);
        if (writeFailures)
            QCOMPARE(rig.ui.messageTexts(), QStringList{"Se ha producido un error en la escritura"});
    }

    void invalidTextInABiff5CodePageNamesNoOtherPhoto()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        // The origin cell holds "12" and a Shift-JIS lead byte with nothing after it.
        rig.settings.setWorkbookPath(QStringLiteral(FOTOLISTA_TEST_DATA "/xls/biff5_cp932_invalid.xls"));
        fixtures::writeJpeg(rig.source + "/12.jpg", 300, 200);
        WorkbookFileReader reader;
        const RunResult result = rig.run(2, &reader);
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.rowsHandled, 1);
        QCOMPARE(result.notProcessed, 1);
        QVERIFY(rig.view.rows[0].cells.sourceText.startsWith("12"));
        QVERIFY(rig.view.rows[0].cells.sourceText != "12");
        QVERIFY(fixtures::filesUnder(rig.destination).isEmpty());
        QCOMPARE(fixtures::readBytes(rig.logPath).count("\r\n"), 1);
    }

    void aGlyphCharacterThatCannotNameAFile()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        fixtures::writeJpeg(rig.source + "/1.jpg", 1000, 750, 0x808080);
        QDir().mkpath(rig.destination + "/1");
        rig.setRows({{"1", "1/2"}});
        const RunResult result = rig.run(2);
        QCOMPARE(result.written, 1);
        const QString out = rig.destination + "/1/2.jpg";
        QCOMPARE(fixtures::decode(out).width, 409);
        // "1" at 319, "/" has no picture, "2" at 339: its column holds light strokes.
        int brightest = 0;
        for (int y = 288; y < 304; ++y)
            for (int x = 339; x < 348; ++x)
                brightest = std::max(brightest, int(fixtures::pixelAt(out, x, y) & 0xFF));
        QVERIFY(brightest > 180);
    }

    void aWorkbookOf65536Rows()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        rig.settings.setOriginRow("1");
        rig.settings.setDestinationRow("1");
        rig.settings.setRowStep("1");
        for (int row = 1; row <= 65536; ++row) {
            rig.reader.cells.insert("F" + QString::number(row), QString::number(100000 + row));
            rig.reader.cells.insert("A" + QString::number(row), "P" + QString::number(row));
        }
        const RunResult result = rig.run(2);
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.completeRowCount, 65537);
        QCOMPARE(result.rowsHandled, 65536);
        QCOMPARE(rig.view.tree.counters().totales, 65536);
        QCOMPARE(rig.view.tree.counters().noProcesadas, 65536);
        QCOMPARE(fixtures::readBytes(rig.logPath).count("\r\n"), 65536);
    }
};

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"
