#include "cli/cellscommand.h"
#include "cli/consolehost.h"
#include "core/run/destinationlock.h"
#include "core/run/rowfingerprints.h"
#include "support/examplebatch.h"
#include "support/imagefixtures.h"
#include "support/tifffixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

using namespace fotolista;

namespace {

const QString kProgram = QStringLiteral(FOTOLISTA_BIN_DIR "/fotolista-batch");
const QString kExamples = QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples");

struct Outcome {
    int exitCode = -1;
    QStringList out;
    QString err;
};

/// Runs the command in `workDir` (where errores.txt lands) and waits for it;
/// under a file-size limit of `limitKb` kilobytes when given.
Outcome runCommand(const QStringList& args, const QString& workDir, const QString& locale = "C.UTF-8", int limitKb = 0)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", locale);
    p.setProcessEnvironment(env);
    if (limitKb > 0)
        p.start("/bin/bash",
                QStringList{"-c", QString("ulimit -f %1; exec \"$0\" \"$@\"").arg(limitKb), kProgram} + args);
    else
        p.start(kProgram, args);
    p.waitForFinished(120000);
    Outcome o;
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    o.out = out.split('\n');
    if (!o.out.isEmpty() && o.out.last().isEmpty())
        o.out.removeLast();
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

/// The example batch with its command line.
struct Batch : ExampleBatch {
    QStringList args(const QStringList& extra = {}) const
    {
        return QStringList{"run", workbook, source, destination} + extra;
    }
};

/// Starts the example batch over large sources, so each row takes a
/// noticeable time, and returns once the first row's large copy exists.
bool startSlowBatch(Batch& b, QProcess& p)
{
    for (const char* name : {"12345.jpg", "12346.JPG", "20001.jpg", "20002.jpg", "20003.jpg", "30001.jpg"})
        if (!fixtures::writeTwoToneJpeg(b.source + "/" + QString(name), 4000, 3000, 0x336699, 0xCC9966))
            return false;
    p.setWorkingDirectory(b.dir.path());
    p.start(kProgram, b.args());
    if (!p.waitForStarted())
        return false;
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(b.destination + "/TAZA-01.jpg") && t.elapsed() < 60000)
        QTest::qWait(5);
    return QFile::exists(b.destination + "/TAZA-01.jpg");
}

}  // namespace

class TestBatchCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram)); }

    void theExampleBatch_data()
    {
        QTest::addColumn<QString>("workbook");  // empty: the example's .xls
        QTest::newRow(".xls") << QString();
        // LibreOffice's copies of the example workbook.
        for (const char* name : {"catalogo.xlsx", "catalogo.ods", "catalogo.csv"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void theExampleBatch()
    {
        QFETCH(QString, workbook);
        Batch b;
        if (!workbook.isEmpty()) {
            b.workbook = b.dir.filePath(workbook);
            QVERIFY(QFile::copy(QStringLiteral(FOTOLISTA_TEST_DATA "/workbooks/") + workbook, b.workbook));
        }
        const Outcome o = runCommand(b.args(), b.dir.path(), "es_ES.UTF-8");
        QCOMPARE(o.exitCode, 1);  // two rows are not processed
        QCOMPARE(o.out.first(), QStringLiteral("-> Imagenes asociadas"));
        QCOMPARE(o.out.at(1), QStringLiteral("  1 - C.O: F6 valor: 12345.JPG || C.D.: A6 :  valor: TAZA-01.jpg"));
        QVERIFY(o.out.at(2).startsWith("    Tam I Grande: "));
        QVERIFY(o.out.at(3).startsWith("    Porcentaje comprimido "));
        QVERIFY(o.out.at(3).contains(","));  // the Spanish decimal separator
        const int notAssociated = int(o.out.indexOf("-> No asociadas"));
        QCOMPARE(notAssociated, 1 + 6 * 3);
        QCOMPARE(o.out.mid(notAssociated + 1, 2),
                 (QStringList{"  5 - C.O: F22 valor: 99999.JPG || C.D.: A22 :  valor: Pelota05.jpg",
                              "  6 - C.O: F26 valor: .JPG || C.D.: A26 :  valor: Vela-06.jpg"}));
        const QStringList tail = o.out.mid(o.out.size() - 5);
        QCOMPARE(tail.mid(0, 3), (QStringList{"Totales: 8", "No procesadas: 2", "procesadas: 6"}));
        QVERIFY(tail[3].startsWith("Total leido: ") && tail[3].endsWith(" kb"));
        QVERIFY(tail[4].startsWith("Total comprimido: ") && tail[4].endsWith(" kb"));

        QCOMPARE(fixtures::readBytes(b.dir.filePath("errores.txt")),
                 QByteArray("5 - C.O: F22 valor: 99999.JPG || C.D.: A22 :  valor: Pelota05.jpg\r\n"
                            "6 - C.O: F26 valor: .JPG || C.D.: A26 :  valor: Vela-06.jpg\r\n"));
        for (const char* name : {"TAZA-01", "Bolso_02", "CAJA-03", "Bote_04", "Botella7", "Cesta_08"}) {
            QCOMPARE(fixtures::decode(b.destination + "/" + QString(name) + ".jpg").width, 409);
            QCOMPARE(fixtures::decode(b.destination + "/pequeñas/" + QString(name) + "_p.jpg").width, 145);
        }
        QVERIFY(!QFile::exists(b.destination + "/Pelota05.jpg"));
    }

    void everyRowWrittenExitsZero()
    {
        Batch b;
        const QString summary = b.dir.filePath("resumen.txt");
        const Outcome o = runCommand(b.args({"--origin", "F30", "--destination", "a30", "--summary", summary, "--log",
                                             b.dir.filePath("registro.txt"), "--quality", "alta"}),
                                     b.dir.path());
        QCOMPARE(o.exitCode, 0);
        QCOMPARE(o.out.size(), 2 + 2 * 3 + 5);
        QCOMPARE(o.out.at(o.out.size() - 5), QStringLiteral("Totales: 2"));
        QCOMPARE(fixtures::readBytes(summary), (o.out.join('\n') + '\n').toUtf8());
        QVERIFY(QFile::exists(b.dir.filePath("registro.txt")));
        QVERIFY(!QFile::exists(b.dir.filePath("errores.txt")));
        QVERIFY(QFile::exists(b.destination + "/Botella7.jpg"));
    }

    void optionsReachTheRun()
    {
        Batch b;
        const Outcome o = runCommand(b.args({"--origin", "F6", "--step", "24", "--large-width", "300", "--small-width",
                                             "100", "--no-watermark", "--quiet"}),
                                     b.dir.path());
        QCOMPARE(o.exitCode, 0);  // rows 6 and 30
        QVERIFY(o.out.isEmpty());
        QCOMPARE(fixtures::decode(b.destination + "/TAZA-01.jpg").width, 300);
        QCOMPARE(fixtures::decode(b.destination + "/pequeñas/Botella7_p.jpg").width, 100);
        QVERIFY(!QFile::exists(b.destination + "/Bolso_02.jpg"));
    }

    void anyFormatAndTheCamerasTurn_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("height");
        QTest::newRow("turned upright") << QStringList{} << 545;  // 1200 x 1600 once turned
        QTest::newRow("--no-autorotate") << QStringList{"--no-autorotate"} << 307;
    }

    void anyFormatAndTheCamerasTurn()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, height);
        Batch b;
        // A JPEG named .HEIC, turned a quarter by its EXIF orientation: found
        // by "any", read by its content.
        QProcess tag;
        tag.start("exiftool", {"-q", "-overwrite_original", "-Orientation#=6", b.source + "/12345.jpg"});
        QVERIFY(tag.waitForFinished(60000) && tag.exitCode() == 0);
        QVERIFY(QFile::rename(b.source + "/12345.jpg", b.source + "/12345.HEIC"));
        const Outcome o =
            runCommand(b.args(QStringList{"--format", "any", "--origin", "F6", "--step", "24"} + extra), b.dir.path());
        QCOMPARE(o.exitCode, 0);
        const fixtures::Decoded large = fixtures::decode(b.destination + "/TAZA-01.jpg");
        QCOMPARE(large.width, 409);
        QCOMPARE(large.height, height);
    }

    // Every copy, large and small, decodes to the same pixels with or without
    // --no-optimize; without it the copies together are smaller.
    void optimisedCopiesKeepTheirPixels()
    {
        Batch smallest;
        Batch plain;
        QCOMPARE(runCommand(smallest.args({}), smallest.dir.path()).exitCode, 1);
        QCOMPARE(runCommand(plain.args({"--no-optimize"}), plain.dir.path()).exitCode, 1);
        const QStringList files = fixtures::filesUnder(plain.destination).filter(".jpg");
        QVERIFY(files.size() >= 4);
        QCOMPARE(fixtures::filesUnder(smallest.destination).filter(".jpg"), files);
        qint64 plainBytes = 0, smallestBytes = 0;
        for (const QString& name : files) {
            const QByteArray a = fixtures::readBytes(plain.destination + "/" + name);
            const QByteArray b = fixtures::readBytes(smallest.destination + "/" + name);
            QVERIFY2(fixtures::samePixels(a, b), qPrintable(name));
            plainBytes += a.size();
            smallestBytes += b.size();
        }
        QVERIFY2(smallestBytes < plainBytes, qPrintable(QString("%1 >= %2").arg(smallestBytes).arg(plainBytes)));
    }

    // Each found row also gets its square on white in tiendas/, which the
    // check and --only-changed know about.
    void marketplaceCopyBesideTheOthers()
    {
        Batch b;
        qputenv("XDG_CACHE_HOME", b.dir.filePath("cache").toUtf8());
        QVERIFY(fixtures::writeProductShot(b.source + "/12345.jpg", 1600, 1200, 400, 320, 800, 560, 0x336699));
        QVERIFY(fixtures::writeProductShot(b.source + "/20001.jpg", 896, 704, 96, 96, 608, 400, 0x336699));
        const QString manifest = b.dir.filePath("lista.csv");
        const QStringList args = b.args({"--marketplace", "800", "--only-changed", "--manifest", manifest});
        QCOMPARE(runCommand(args, b.dir.path()).exitCode, 1);
        const QStringList listed = QString::fromUtf8(fixtures::readBytes(manifest)).split("\r\n");
        QVERIFY2(listed.value(0).endsWith(",tiendas,tiendas bytes,tiendas anchura,tiendas altura,tiendas motivo"),
                 qPrintable(listed.value(0)));
        QVERIFY(!listed.filter(QRegularExpression(",tiendas/TAZA-01\\.jpg,[0-9]+,800,800,$")).isEmpty());
        QStringList large = QDir(b.destination).entryList({"*.jpg"}, QDir::Files);
        QVERIFY(large.size() >= 4);
        QCOMPARE(QDir(b.destination + "/tiendas").entryList({"*.jpg"}, QDir::Files), large);

        // 800 × 560 on white: trimmed, 680 × 476 in the middle of 800 × 800.
        const fixtures::Picture p = fixtures::picture(b.destination + "/tiendas/TAZA-01.jpg");
        QCOMPARE(QSize(p.width, p.height), QSize(800, 800));
        for (const QPoint q : {QPoint(0, 0), QPoint(799, 0), QPoint(0, 799), QPoint(799, 799), QPoint(55, 400),
                               QPoint(400, 157), QPoint(745, 400), QPoint(400, 643)})
            QVERIFY2(fixtures::near(p.at(q.x(), q.y()), 0xFFFFFF, 6),
                     qPrintable(QString("%1,%2").arg(q.x()).arg(q.y())));
        for (const QPoint q : {QPoint(66, 400), QPoint(400, 168), QPoint(734, 400), QPoint(400, 632)})
            QVERIFY2(fixtures::near(p.at(q.x(), q.y()), 0x336699), qPrintable(QString("%1,%2").arg(q.x()).arg(q.y())));

        const Outcome again = runCommand(args, b.dir.path());
        QVERIFY2(again.out.join('\n').contains(QString("Sin cambios (no se han vuelto a hacer): %1").arg(large.size())),
                 qPrintable(again.out.join('\n')));
        QVERIFY(QFile::remove(b.destination + "/tiendas/TAZA-01.jpg"));
        const Outcome redone = runCommand(args, b.dir.path());
        qunsetenv("XDG_CACHE_HOME");
        QVERIFY(redone.out.join('\n').contains(
            QString("Sin cambios (no se han vuelto a hacer): %1").arg(large.size() - 1)));
        QVERIFY(QFile::exists(b.destination + "/tiendas/TAZA-01.jpg"));

        // Products of 800 and 608 px are too small for a marketplace's zoom.
        const Outcome check =
            runCommand({"check", b.workbook, b.source, b.destination, "--marketplace", "800"}, b.dir.path());
        const QString small = check.out.filter("pequena-para-tiendas").join('\n');
        QVERIFY2(small.contains("de 12345.jpg mide 800 píxeles"), qPrintable(check.out.join('\n')));
        QVERIFY(small.contains("de 20001.jpg mide 608 píxeles"));
        QVERIFY(small.contains("será de 716 × 716"));
        QVERIFY(runCommand({"check", b.workbook, b.source, b.destination}, b.dir.path())
                    .out.filter("pequena-para-tiendas")
                    .isEmpty());
    }

    // Each companion the command asks for lies beside its JPEG and is
    // smaller, or the manifest says why it is not there.
    void webFormatsBesideTheCopiesAndTheManifest()
    {
        Batch b;
        const QString manifest = b.dir.filePath("lista.csv");
        QCOMPARE(runCommand(b.args({"--webp", "--avif", "--manifest", manifest}), b.dir.path()).exitCode, 1);
        const QStringList lines = QString::fromUtf8(fixtures::readBytes(manifest)).split("\r\n", Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2);
        const QStringList header = lines[0].split(',');
        QCOMPARE(header.size(), 2 + 6 * 5);
        int companions = 0;
        for (const QString& line : lines.mid(1)) {
            const QStringList f = line.split(',');  // the example's names hold no comma
            QCOMPARE(f.size(), header.size());
            for (int k = 2; k < 6; ++k) {  // the WebP and AVIF of both copies
                const QString path = b.destination + "/" + f[2 + 5 * k];
                const QString jpeg = b.destination + "/" + f[2 + 5 * (k % 2)];
                if (f[3 + 5 * k].isEmpty()) {
                    QVERIFY2(!f[6 + 5 * k].isEmpty() && !QFile::exists(path), qPrintable(line));
                    continue;
                }
                ++companions;
                QCOMPARE(QFileInfo(path).size(), f[3 + 5 * k].toLongLong());
                QVERIFY2(QFileInfo(path).size() < QFileInfo(jpeg).size(), qPrintable(line));
                QCOMPARE(f[4 + 5 * k], f[4 + 5 * (k % 2)]);  // the JPEG's sides
                QCOMPARE(f[5 + 5 * k], f[5 + 5 * (k % 2)]);
            }
        }
        QVERIFY(companions > 0);
    }

    void fastModeKeepsTheSizes()
    {
        Batch exact;
        Batch fast;
        QCOMPARE(runCommand(exact.args({"--jobs", "1"}), exact.dir.path()).exitCode, 1);
        QCOMPARE(runCommand(fast.args({"--fast", "--jobs", "2"}), fast.dir.path()).exitCode, 1);
        for (const QString& name : QDir(exact.destination).entryList({"*.jpg"}, QDir::Files)) {
            const fixtures::Decoded a = fixtures::decode(exact.destination + "/" + name);
            const fixtures::Decoded b = fixtures::decode(fast.destination + "/" + name);
            QCOMPARE(b.width, a.width);
            QCOMPARE(b.height, a.height);
            QVERIFY(fixtures::psnr(exact.destination + "/" + name, fast.destination + "/" + name) > 35);
        }
    }

    void onlyChangedSkipsWhatIsMadeAndSaysSo()
    {
        Batch b;
        // The fingerprints go to the user's cache folder: here, the test's.
        qputenv("XDG_CACHE_HOME", b.dir.filePath("cache").toUtf8());
        const QStringList args = b.args({"--origin", "F30", "--destination", "a30", "--only-changed"});
        const Outcome first = runCommand(args, b.dir.path());
        QCOMPARE(first.exitCode, 0);
        QVERIFY(!first.out.join('\n').contains("Sin cambios"));
        const Outcome again = runCommand(args, b.dir.path());
        qunsetenv("XDG_CACHE_HOME");
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains("Sin cambios (no se han vuelto a hacer): 2"), qPrintable(again.out.join('\n')));
        QVERIFY(!again.err.contains("aviso"));
        // One file of fingerprints for the destination, and its lock.
        const QStringList kept = QDir(b.dir.filePath("cache/fotolista/huellas")).entryList(QDir::Files);
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept.filter(QRegularExpression("^[0-9a-f]{40}\\.lock$")).size(), 1);
    }

    void badUsageWritesNothing_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--colour"} << "opción desconocida: --colour";
        QTest::newRow("step zero") << QStringList{"--step", "0"} << "el salto «0»";
        QTest::newRow("bad cell") << QStringList{"--origin", "6F"} << "la celda «6F»";
        QTest::newRow("bad quality") << QStringList{"--quality", "extra"} << "la calidad «extra»";
        QTest::newRow("bad format") << QStringList{"--format", "gif"} << "el formato «gif» no es jpg, tif ni any";
        QTest::newRow("transparency out of range") << QStringList{"--transparency", "300"} << "la transparencia «300»";
        QTest::newRow("missing value") << QStringList{"--large-width"} << "falta el valor";
        QTest::newRow("bad mark") << QStringList{"--mark", "1,2"} << "--mark espera";
        QTest::newRow("no such watermark folder") << QStringList{"--watermark", "/no/such"} << "no existe";
        QTest::newRow("no jobs") << QStringList{"--jobs", "0"} << "--jobs espera";
        QTest::newRow("marketplace too small") << QStringList{"--marketplace", "100"} << "--marketplace espera";
        QTest::newRow("both watermark choices")
            << QStringList{"--watermark", "/", "--no-watermark"} << "no pueden ir juntas";
    }

    void badUsageWritesNothing()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, message);
        Batch b;
        const Outcome o = runCommand(b.args(extra), b.dir.path());
        QCOMPARE(o.exitCode, 2);
        QVERIFY2(o.err.contains(message), qPrintable(o.err));
        QVERIFY(!QFile::exists(b.dir.filePath("errores.txt")));
        QVERIFY(QDir(b.destination).isEmpty());
    }

    void aWorkbookThatCannotBeRead()
    {
        Batch b;
        fixtures::writeBytes(b.workbook, "PK\x03\x04 not really a workbook");
        fixtures::writeBytes(b.dir.filePath("errores.txt"), "kept");
        const Outcome o = runCommand(b.args(), b.dir.path());
        QCOMPARE(o.exitCode, 2);
        QVERIFY2(o.err.contains("catalogo.xls"), qPrintable(o.err));
        QVERIFY(o.out.isEmpty());
        QCOMPARE(fixtures::readBytes(b.dir.filePath("errores.txt")), QByteArray("kept"));
        QVERIFY(QDir(b.destination).isEmpty());
    }

    void rowsThatFailAreNamedAndExitOne_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("said");  // on stderr
        QTest::addColumn<QStringList>("written");  // large copies in the destination afterwards
        const QStringList rows6And30{"--origin", "F6", "--step", "24"};
        // 4 KiB: the small copies fit, the large ones do not; the write fails, not the program.
        QTest::newRow("a file-size limit")
            << "limit" << rows6And30 << QStringList{"Se ha producido un error en la escritura"}
            << QStringList{"TAZA-01.jpg"};
        QTest::newRow("a source claiming 60000 x 60000")
            << "huge" << QStringList{"--origin", "F30", "--destination", "A30"}
            << QStringList{"fila 1 (F30 → A30)", "millones de píxeles"} << QStringList{"Cesta_08.jpg", "TAZA-01.jpg"};
        QTest::newRow("a source that does not decode")
            << "broken" << rows6And30
            << QStringList{"fila 1 (F6 → A6)", "no se puede leer la imagen", "no es una imagen JPEG, TIFF, PNG, WebP"}
            << QStringList{"Botella7.jpg", "TAZA-01.jpg"};
    }

    void rowsThatFailAreNamedAndExitOne()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, extra);
        QFETCH(QStringList, said);
        QFETCH(QStringList, written);
        Batch b;
        // Yesterday's result: a failed row must leave it whole.
        fixtures::writeBytes(b.destination + "/TAZA-01.jpg", "yesterday");
        if (damage == "huge")
            fixtures::writeBytes(
                b.source + "/20003.jpg",
                fixtures::jpegClaimingSize(fixtures::readBytes(b.source + "/20003.jpg"), 60000, 60000));
        if (damage == "broken")
            fixtures::writeBytes(b.source + "/12345.jpg", "broken");
        const Outcome o = runCommand(b.args(extra), b.dir.path(), "C.UTF-8", damage == "limit" ? 4 : 0);
        QCOMPARE(o.exitCode, 1);
        for (const QString& words : said)
            QVERIFY2(o.err.contains(words), qPrintable(o.err));
        QCOMPARE(fixtures::readBytes(b.destination + "/TAZA-01.jpg"), QByteArray("yesterday"));
        QCOMPARE(QDir(b.destination).entryList(QDir::Files | QDir::Hidden), written);
    }

    void aTiffTheImageLibraryWouldAbortOnEndsOnlyItsRow()
    {
        // Rows 1 to 3: a good photo, a TIFF on which the image library
        // asserts, a good photo, decoded ahead on two threads. The process
        // goes on: both good rows are written, the bad one is named, by the
        // check before the run too.
        Batch b;
        QVERIFY(QFile::remove(b.source + "/12346.JPG"));
        QByteArray tiff = fixtures::handmadeTiff(300, 200, fixtures::TiffLayout{1, 1, 1});
        QVERIFY(fixtures::setTiffTag(tiff, 284, 2));
        QVERIFY(fixtures::writeBytes(b.source + "/12346.tif", tiff));
        const QStringList options{"--format", "any", "--jobs", "2"};
        const Outcome check =
            runCommand(QStringList{"check", b.workbook, b.source, b.destination} + options, b.dir.path());
        QCOMPARE(check.exitCode, 1);
        const QRegularExpression finding("^10\tno-legible\t.*12346.tif.*planos separados");
        QVERIFY2(!check.out.filter(finding).isEmpty(), qPrintable(check.out.join('\n')));
        const Outcome run = runCommand(b.args(options), b.dir.path());
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("fila 2 (F10 → A10)") && run.err.contains("planos separados"), qPrintable(run.err));
        QVERIFY(QFile::exists(b.destination + "/TAZA-01.jpg") && QFile::exists(b.destination + "/CAJA-03.jpg"));
        QVERIFY(!QFile::exists(b.destination + "/Bolso_02.jpg"));
    }

    void cellsPrintsWhatIndependentReadersSee_data()
    {
        QTest::addColumn<QString>("workbook");
        QTest::addColumn<QString>("locale");
        for (const QString& folder :
             {QStringLiteral(FOTOLISTA_TEST_DATA "/workbooks"), QStringLiteral(FOTOLISTA_WORKBOOK_SAMPLES)}) {
            const QDir dir(folder);
            for (const QString& listing : dir.entryList({"*.es.cells"}, QDir::Files, QDir::Name)) {
                const QString workbook = dir.filePath(listing.chopped(9));
                QTest::newRow(qPrintable(listing.chopped(9) + " es")) << workbook << "es";
                QTest::newRow(qPrintable(listing.chopped(9) + " C")) << workbook << "C";
            }
        }
    }

    void cellsPrintsWhatIndependentReadersSee()
    {
        QFETCH(QString, workbook);
        QFETCH(QString, locale);
        QTemporaryDir dir;
        const Outcome o = runCommand({"cells", workbook}, dir.path(), locale == "es" ? "es_ES.UTF-8" : "C.UTF-8");
        QCOMPARE(o.exitCode, 0);
        const QString expected = QString::fromUtf8(fixtures::readBytes(workbook + "." + locale + ".cells"));
        QCOMPARE(o.out.join('\n') + (o.out.isEmpty() ? "" : "\n"), expected);
    }

    void cellsListsTheSheet()
    {
        QTemporaryDir dir;
        const Outcome o = runCommand({"cells", kExamples + "/catalogo.xls"}, dir.path());
        QCOMPARE(o.exitCode, 0);
        QVERIFY(o.out.contains("A6\tTAZA-01"));
        QVERIFY(o.out.contains("F6\t12345"));
        QVERIFY(o.out.contains("F10\t12346"));
        QVERIFY(!o.out.join('\n').contains("F26\t"));
        // Row-major order.
        QVERIFY(o.out.indexOf("A6\tTAZA-01") < o.out.indexOf("F6\t12345"));
        QVERIFY(o.out.indexOf("F6\t12345") < o.out.indexOf("A10\tBolso_02"));
    }

    void cellTextsAreEscapedOnOneLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << "ABC"
                               << "ABC";
        QTest::newRow("backslash") << "camisas\\12345"
                                   << "camisas\\\\12345";
        QTest::newRow("tab") << "\t<-tab"
                             << "\\t<-tab";
        QTest::newRow("line feed and return") << "a\r\nb"
                                              << "a\\r\\nb";
        QTest::newRow("blanks kept") << "  :-)  "
                                     << "  :-)  ";
        QTest::newRow("accents") << "Äcker ñ"
                                 << "Äcker ñ";
    }

    void cellTextsAreEscapedOnOneLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(escapeCellText(text), line);
    }

    void cellsRefusesEveryDamagedFixture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << "xls/empty.xls"
                               << "vacío";
        QTest::newRow("random bytes") << "xls/random.xls"
                                      << "no es un libro";
        QTest::newRow("encrypted") << "xls/encrypted.xls"
                                   << "contraseña";
        QTest::newRow("encrypted .xlsx") << "xls/encrypted_xlsx.xls"
                                         << "contraseña";
        QTest::newRow("truncated") << "xls/truncated_13056.xls"
                                   << "dañado";
        QTest::newRow("missing") << "xls/no-such-file.xls"
                                 << "no existe";
        QTest::newRow(".xlsb") << "workbooks/handmade.xlsb"
                               << ".xlsb";
        QTest::newRow("truncated archive") << "workbooks/damaged_truncated.xlsx"
                                           << "dañado";
        QTest::newRow("zip bomb") << "workbooks/hostile/bomb_inflated.xlsx"
                                  << "256 MB";
        QTest::newRow("billion laughs") << "workbooks/hostile/billion_laughs.xlsx"
                                        << "DTD";
        QTest::newRow("deep nesting") << "workbooks/hostile/deep_nesting.xlsx"
                                      << "256 niveles";
        QTest::newRow("every cell repeated") << "workbooks/hostile/repeat_all_cells.ods"
                                             << "3 millones";
    }

    void cellsRefusesEveryDamagedFixture()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = QStringLiteral(FOTOLISTA_TEST_DATA "/") + file;
        const Outcome o = runCommand({"cells", path}, dir.path());
        QCOMPARE(o.exitCode, 2);
        QVERIFY2(o.err.contains(path) && o.err.contains(reason), qPrintable(o.err));
        QVERIFY(o.out.isEmpty());
    }

    void helpIsInSpanishAndVersionIsTheProjects()
    {
        QTemporaryDir dir;
        const Outcome o = runCommand({"--help"}, dir.path());
        QCOMPARE(o.exitCode, 0);
        QVERIFY(o.out.join('\n').contains("Uso:"));
        QVERIFY(o.out.join('\n').contains("--mark-centred ALFA"));
        QVERIFY(o.out.join('\n').contains("--format jpg|tif|any"));
        QVERIFY(o.out.join('\n').contains("--no-autorotate"));
        const Outcome version = runCommand({"--version"}, dir.path());
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringList{"fotolista-batch " FOTOLISTA_PROJECT_VERSION});
        QCOMPARE(runCommand({}, dir.path()).exitCode, 2);
        QCOMPARE(runCommand({"convert"}, dir.path()).exitCode, 2);
    }

    void theProgressLineCountsRows()
    {
        QString text;
        QTextStream err(&text);
        ConsoleHost host(err, true);
        host.rowCountKnown(4);
        for (int i = 1; i <= 3; ++i) {
            RowReport r;
            r.passNumber = i;
            r.fate = RowFate::Found;
            r.outcome = RowOutcome::Written;
            host.rowHandled(r);
        }
        err.flush();
        QVERIFY2(text.contains("] 3/3  0:00"), qPrintable(text));
        QVERIFY(text.contains("] 0/3"));
        host.finishProgress();
        err.flush();
        QVERIFY(text.endsWith("\r\033[K"));

        QString quiet;
        QTextStream quietErr(&quiet);
        ConsoleHost silent(quietErr, false);
        silent.rowCountKnown(4);
        silent.yieldToUser();
        quietErr.flush();
        QVERIFY(quiet.isEmpty());
    }

    void summaryAndReportAreReplacedWhole_data()
    {
        QTest::addColumn<bool>("links");  // links planted at both; else a write that fails
        QTest::newRow("links at both are replaced, not written through") << true;
        QTest::newRow("a write that fails leaves yesterday's files") << false;
    }

    void summaryAndReportAreReplacedWhole()
    {
        QFETCH(bool, links);
        Batch b;
        const QString summary = b.dir.filePath("resumen.txt");
        const QString report = b.dir.filePath("informe.html");
        const QString manifest = b.dir.filePath("lista.csv");
        const QString victim = b.dir.filePath("victim");
        QVERIFY(fixtures::writeBytes(victim, "not ours"));
        for (const QString& file : {summary, report, manifest})
            QVERIFY(links ? QFile::link(victim, file) : fixtures::writeBytes(file, "yesterday"));
        // Forty rows of the same photo: a summary of some kilobytes.
        QByteArray rows(";;;;;\n;;;;;\n;;;;;\n;;;;;\n;;;;;\n");
        for (int i = 0; i < 40; ++i)
            rows += "FOTO-" + QByteArray::number(i) + ";;;;;12345\n;;;;;\n;;;;;\n;;;;;\n";
        b.workbook = b.dir.filePath("lote.csv");
        QVERIFY(fixtures::writeBytes(b.workbook, rows));
        // 1 KiB: the summary and the report are larger.
        const Outcome o = runCommand(b.args({"--summary", summary, "--report", report, "--manifest", manifest}),
                                     b.dir.path(), "C.UTF-8", links ? 0 : 1);
        QCOMPARE(o.exitCode, links ? 0 : 1);
        QCOMPARE(fixtures::readBytes(victim), QByteArray("not ours"));
        if (links) {
            QVERIFY(!QFileInfo(summary).isSymLink() && !QFileInfo(report).isSymLink()
                    && !QFileInfo(manifest).isSymLink());
            QVERIFY(fixtures::readBytes(manifest).startsWith("fila,destino,grande,"));
            QCOMPARE(fixtures::readBytes(summary), (o.out.join('\n') + '\n').toUtf8());
            QVERIFY(fixtures::readBytes(report).startsWith("<!DOCTYPE html>"));
        } else {
            QVERIFY2(o.out.join('\n').size() > 1024, qPrintable(o.out.join('\n')));
            QCOMPARE(fixtures::readBytes(summary), QByteArray("yesterday"));
            QCOMPARE(fixtures::readBytes(report), QByteArray("yesterday"));
            QCOMPARE(fixtures::readBytes(manifest), QByteArray("yesterday"));
            QVERIFY2(o.err.contains("no se puede escribir el resumen")
                         && o.err.contains("no se puede escribir el informe")
                         && o.err.contains("no se puede escribir la lista de ficheros"),
                     qPrintable(o.err));
        }
        QCOMPARE(QDir(b.dir.path()).entryList({".*"}, QDir::Files | QDir::Hidden), QStringList{});
    }

    // A job saved with --save-job runs again without the paths; what is given
    // beside it overrides it; a job that cannot be used writes nothing.
    void jobFiles()
    {
        Batch b;
        const QString job = b.dir.filePath("semana.fotolista");
        const Outcome saved = runCommand(
            b.args({"--quality", "alta", "--large-width", "500", "--save-job", job, "--quiet"}), b.dir.path());
        QCOMPARE(saved.exitCode, 1);  // the example's missing photo
        const QByteArray first = fixtures::readBytes(b.destination + "/TAZA-01.jpg");
        QCOMPARE(fixtures::decode(b.destination + "/TAZA-01.jpg").width, 500);
        QVERIFY(QFile::remove(b.destination + "/TAZA-01.jpg"));
        QCOMPARE(runCommand({"run", "--job", job, "--quiet"}, b.dir.path()).exitCode, 1);
        QCOMPARE(fixtures::readBytes(b.destination + "/TAZA-01.jpg"), first);

        const QString other = b.dir.filePath("otra");
        QDir().mkpath(other);
        const QString overridden = b.dir.filePath("cambiado.fotolista");
        runCommand({"run", "--job", job, b.workbook, b.source, other, "--large-width", "300", "--save-job", overridden,
                    "--quiet"},
                   b.dir.path());
        QCOMPARE(fixtures::decode(other + "/TAZA-01.jpg").width, 300);
        const QByteArray text = fixtures::readBytes(overridden);
        QVERIFY(text.contains("\ncalidad=alta\n") && text.contains("\nanchura-grande=300\n"));
        QVERIFY(text.contains("\ndestino=" + QFile::encodeName(other) + "\n"));

        QByteArray gone = fixtures::readBytes(job);
        gone.replace(QFile::encodeName(b.source), "/no/existe");
        fixtures::writeBytes(job, gone);
        const QStringList before = fixtures::filesUnder(b.dir.path());
        const Outcome refused = runCommand({"run", "--job", job}, b.dir.path());
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains("la carpeta fuente «/no/existe» no existe"), qPrintable(refused.err));
        QCOMPARE(fixtures::filesUnder(b.dir.path()), before);
        QCOMPARE(runCommand({"check", "--job", b.workbook}, b.dir.path()).exitCode, 2);  // not a job
    }

    void aSecondRunOnOneDestinationWaitsOrGivesUp_data()
    {
        QTest::addColumn<bool>("noWait");
        QTest::newRow("it waits, says so, then runs") << false;
        QTest::newRow("--no-wait: exit 2, nothing written") << true;
    }

    void aSecondRunOnOneDestinationWaitsOrGivesUp()
    {
        QFETCH(bool, noWait);
        Batch b;
        qputenv("XDG_CACHE_HOME", b.dir.filePath("cache").toUtf8());
        // The first run, as another process holds it.
        std::optional<DestinationLock> first(RowFingerprints(defaultFingerprintFolder(), b.destination).filePath());
        QCOMPARE(first->tryTake(), LockAttempt::Taken);
        const QString busy = "Otro proceso está escribiendo en la carpeta destino «" + b.destination + "»";
        const QStringList args{"--origin", "F30", "--destination", "a30"};
        if (noWait) {
            const Outcome o = runCommand(b.args(args + QStringList{"--no-wait"}), b.dir.path());
            qunsetenv("XDG_CACHE_HOME");
            QCOMPARE(o.exitCode, 2);
            QVERIFY2(o.err.contains(busy + "; el lote no se hace."), qPrintable(o.err));
            QCOMPARE(fixtures::filesUnder(b.destination), QStringList{});
            return;
        }
        QProcess second;
        second.setWorkingDirectory(b.dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");
        second.setProcessEnvironment(env);
        second.start(kProgram, b.args(args));
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(second.readAllStandardError())).contains(busy), 10000);
        qunsetenv("XDG_CACHE_HOME");
        QVERIFY(err.contains("se espera a que termine"));
        QTest::qWait(300);
        QCOMPARE(second.state(), QProcess::Running);
        QCOMPARE(fixtures::filesUnder(b.destination), QStringList{});
        first.reset();
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!fixtures::filesUnder(b.destination).isEmpty());
    }

    void ctrlC_data()
    {
        QTest::addColumn<int>("interruptions");
        QTest::newRow("once: the row in progress is finished") << 1;
        QTest::newRow("twice: stops at once") << 2;
    }

    void ctrlC()
    {
        QFETCH(int, interruptions);
        Batch b;
        QProcess p;
        QVERIFY(startSlowBatch(b, p));
        // Rows whose large copy is there when the signal goes; the row in
        // progress may be one of them or the next.
        const qsizetype before = QDir(b.destination).entryList({"*.jpg"}, QDir::Files).size();
        for (int i = 0; i < interruptions; ++i) {
            if (i > 0)
                QTest::qWait(20);
            if (p.state() == QProcess::Running)
                ::kill(p.processId(), SIGINT);
        }
        // The wait above may already have seen the end.
        QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 130);
        // No half-written file, hidden or not; what is there decodes whole.
        const QStringList written = QDir(b.destination).entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : written) {
            QVERIFY2(!name.startsWith('.'), qPrintable(name));
            QCOMPARE(fixtures::decode(b.destination + "/" + name).width, 409);
        }
        if (interruptions == 1) {
            // At most the row in progress is finished after the signal, small copy and all.
            QVERIFY2(written.size() >= before && written.size() <= before + 1, qPrintable(written.join(',')));
            for (QString name : written)
                QCOMPARE(fixtures::decode(b.destination + "/pequeñas/" + name.replace(".jpg", "_p.jpg")).width, 145);
            // The totals count every row the summary lists, each written one among them.
            const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
            const qsizetype listed = out.filter(QRegularExpression("^  \\d+ - C\\.O: ")).size();
            QVERIFY(listed >= written.size());
            QCOMPARE(out.filter(QRegularExpression("^Totales: ")), QStringList{"Totales: " + QString::number(listed)});
        }
    }
};

QTEST_GUILESS_MAIN(TestBatchCommand)
#include "tst_batchcommand.moc"
