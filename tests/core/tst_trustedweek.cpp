// A shop's week through the command, from its own .xlsx and from the same
// rows as a Spanish-Excel .csv: one folder for photos and images, and every
// trap of tests/data/batch/make_week.py. Nothing the workbook reads may be
// replaced, and nothing may end without a word.
#include "support/imagefixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(FOTOLISTA_BIN_DIR "/fotolista-batch");
const QString kWeek = QStringLiteral(FOTOLISTA_TEST_DATA "/batch/semana.xlsx");
// "Bolso señora" as a Mac names the file: n and a combining tilde.
const QString kDecomposed = QStringLiteral("Bolso sen\u0303ora");

/// The rows of semana.xlsx as Excel saves a .csv in Spanish: ";", Windows-1252.
QByteArray weekAsCsv()
{
    const QString text = QStringLiteral("Código;Foto\r\nTAZA-01;IMG_0001\r\nIMG_0002;IMG_0002\r\nVELA-01;IMG_0003\r\n"
                                        "VELA-01;IMG_0004\r\nCAM/ROJA;IMG_0005\r\nBolso señora;Bolso señora\r\n"
                                        "\"LÍNEA\nFALSA\";IMG_0009\r\n;\r\nGORRA-01;IMG_0006\r\nGORRA-02;VELA-01\r\n");
    return text.toLatin1();
}

struct Week {
    QTemporaryDir dir;
    QString shop = dir.filePath("tienda");  // photos and images in one folder
    QString workbook;
    int exitCode = -1;
    QStringList out;
    QString err;

    explicit Week(bool csv)
    {
        QDir().mkpath(shop);
        for (const char* name : {"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg", "IMG_0004.JPG", "IMG_0005.jpg",
                                 "IMG_0006.jpg", "IMG_0007.jpg"})
            fixtures::writeJpeg(shop + "/" + QString::fromLatin1(name), 640, 480,
                                QByteArray(name).startsWith("IMG_0004") ? 0xCC9933 : 0x336699);
        fixtures::writeJpeg(shop + "/" + kDecomposed + ".jpg", 640, 480, 0x993366);
        workbook = dir.filePath(csv ? "semana.csv" : "semana.xlsx");
        if (csv)
            fixtures::writeBytes(workbook, weekAsCsv());
        else
            QFile::copy(kWeek, workbook);
    }

    void run(const QString& command, const QStringList& extra = {})
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "es_ES.UTF-8");
        p.setProcessEnvironment(env);
        p.start(kProgram, QStringList{command, workbook, shop, shop, "--origin", "B2", "--destination", "A2", "--step",
                                      "1", "--jobs", "2"}
                              + extra);
        p.waitForFinished(120000);
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        err = QString::fromUtf8(p.readAllStandardError());
    }

    /// Every file of the folder and its digest.
    QMap<QString, QByteArray> digests() const
    {
        QMap<QString, QByteArray> d;
        for (const QString& f : fixtures::filesUnder(shop))
            d.insert(f, QCryptographicHash::hash(fixtures::readBytes(shop + "/" + f), QCryptographicHash::Sha256));
        return d;
    }
};

/// "ROW KIND" of each line the check printed, the summary line left out.
QStringList findingsOf(const QStringList& out)
{
    QStringList kinds;
    for (const QString& line : out.mid(0, out.size() - 1))
        kinds << line.section('\t', 0, 1).replace('\t', ' ');
    return kinds;
}

}  // namespace

class TestTrustedWeek : public QObject {
    Q_OBJECT

private slots:
    void oneFolderForPhotosAndImages_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::newRow(".xlsx") << false;
        QTest::newRow("Spanish-Excel .csv") << true;
    }

    void oneFolderForPhotosAndImages()
    {
        QFETCH(bool, csv);
        Week w(csv);
        const QMap<QString, QByteArray> originals = w.digests();

        w.run("check");
        QCOMPARE(w.exitCode, 1);
        QCOMPARE(findingsOf(w.out), (QStringList{"3 pisa-origen", "5 destino-repetido", "6 nombre-no-valido",
                                                 "8 falta-origen", "9 datos-tras-fin"}));
        QCOMPARE(w.out.last(), QStringLiteral("7 filas%1 y 2 más sin leer tras la fila vacía 9: 5 problemas, 0 avisos")
                                   .arg(csv ? "" : " de la hoja «Semana»"));

        w.run("run");
        QCOMPARE(w.exitCode, 1);
        // Every photo as it was: the one named after its code is not replaced by its copy.
        const QMap<QString, QByteArray> after = w.digests();
        for (auto it = originals.cbegin(); it != originals.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
        QCOMPARE(QStringList(after.keys()).filter(QRegularExpression("^(?!IMG_|Bolso sen\u0303ora)")),
                 (QStringList{"Bolso señora.jpg", "TAZA-01.jpg", "VELA-01.jpg", "pequeñas/Bolso señora_p.jpg",
                              "pequeñas/TAZA-01_p.jpg", "pequeñas/VELA-01_p.jpg"}));
        // The second VELA-01 did not replace the first: its photo is another colour.
        QVERIFY(fixtures::near(fixtures::pixelAt(w.shop + "/VELA-01.jpg", 200, 60), 0x336699));

        // Each row without its images is a line of its own, the cell's line break written out.
        const QStringList log =
            QString::fromUtf8(fixtures::readBytes(w.dir.filePath("errores.txt"))).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(log.size(), 4);
        QVERIFY2(log[0].startsWith("2 - C.O: B3 ") && log[0].contains("es la foto original de la fila 3"),
                 qPrintable(log[0]));
        QVERIFY2(log[1].startsWith("4 - C.O: B5 ") && log[1].contains("ya la ha escrito la fila 4"),
                 qPrintable(log[1]));
        QVERIFY2(log[2].startsWith("5 - C.O: B6 ") && log[2].contains("no existe la carpeta"), qPrintable(log[2]));
        QCOMPARE(log[3], QStringLiteral("7 - C.O: B8 valor: IMG_0009.JPG || C.D.: A8 :  valor: LÍNEA\\nFALSA.jpg"));
        QVERIFY2(w.err.contains("termina en la fila 9, que está vacía, pero debajo hay 2 filas más"),
                 qPrintable(w.err));
        QVERIFY(w.out.contains("Totales: 7"));
        QVERIFY(w.out.contains("No procesadas: 1"));

        // Past the empty row: the last two products, one of them named after an
        // image this run wrote, which is no photo of the shop's.
        Week again(csv);
        again.run("run", {"--skip-blank-rows"});
        QCOMPARE(again.exitCode, 1);
        QVERIFY(QFile::exists(again.shop + "/GORRA-01.jpg"));
        QVERIFY(!QFile::exists(again.shop + "/GORRA-02.jpg"));
        QVERIFY(again.out.contains("Totales: 9"));
        QVERIFY(again.out.contains("No procesadas: 2"));
        QVERIFY(!again.err.contains("que está vacía"));
        again.run("check", {"--skip-blank-rows"});
        QVERIFY2(again.out.last().startsWith("9 filas"), qPrintable(again.out.last()));
    }

    // The notes of names as people type them, beside rows that must give none.
    void namesAsTyped()
    {
        Week w(true);
        fixtures::writeJpeg(w.shop + "/IMG_5195.HEIC", 640, 480);
        fixtures::writeJpeg(w.shop + "/chica.jpg", 100, 80);
        const QByteArray rows = "a;b\r\nC-2 ;IMG_0001\r\nX;IMG_0003.jpg\r\nY;IMG_5195\r\nZ;chica\r\nW;IMG_0007\r\n";
        QDir().mkpath(w.dir.filePath("destino"));
        fixtures::writeBytes(w.workbook, rows);
        QProcess p;
        p.start(kProgram, {"check", w.workbook, w.shop, w.dir.filePath("destino"), "--origin", "B2", "--destination",
                           "A2", "--step", "1"});
        QVERIFY(p.waitForFinished(60000));
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QStringList kinds = findingsOf(out);
        QCOMPARE(kinds.filter(QRegularExpression("^[1-9]")),
                 (QStringList{"2 espacios", "3 extension-doble", "3 falta-origen", "4 falta-origen", "4 otro-formato",
                              "5 se-amplia"}));
        // Under "any format" every readable file counts, the HEIC among them.
        p.start(kProgram, {"check", w.workbook, w.shop, w.dir.filePath("destino"), "--origin", "B2", "--destination",
                           "A2", "--step", "1", "--format", "any"});
        QVERIFY(p.waitForFinished(60000));
        const QString any = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(any.contains("0\tsin-usar\tIMG_0002.jpg"), qPrintable(any));
        QVERIFY2(!any.contains("IMG_5195.HEIC: ninguna"), qPrintable(any));
        QVERIFY2(any.contains("0\tsin-usar\tIMG_0004.JPG"), qPrintable(any));
    }

    void aLogThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("log");  // relative to the week's folder, or absolute
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("in a folder that does not exist") << "no-existe/errores.txt" << 2 << "no existe la carpeta";
        QTest::newRow("a link planted at its name") << "enlace.txt" << 2 << "es un enlace simbólico";
        QTest::newRow("a full disk") << "/dev/full" << 1 << "No se puede escribir en el registro de errores";
    }

    void aLogThatCannotBeWritten()
    {
        QFETCH(QString, log);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        Week w(true);
        const QString elsewhere = w.dir.filePath("otro.txt");
        fixtures::writeBytes(elsewhere, "ajeno");
        QVERIFY(QFile::link(elsewhere, w.dir.filePath("enlace.txt")));
        w.run("run", {"--log", log, "--quiet"});
        QCOMPARE(w.exitCode, exitCode);
        QVERIFY2(w.err.contains(said), qPrintable(w.err));
        QCOMPARE(fixtures::readBytes(elsewhere), QByteArray("ajeno"));
        QCOMPARE(QFile::exists(w.shop + "/TAZA-01.jpg"), exitCode != 2);
    }
};

QTEST_GUILESS_MAIN(TestTrustedWeek)
#include "tst_trustedweek.moc"
