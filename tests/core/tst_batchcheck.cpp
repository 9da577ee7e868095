#include "core/check/batchcheck.h"
#include "core/check/filesystemnames.h"
#include "core/image/bitmap.h"
#include "support/imagefixtures.h"
#include "support/photofixtures.h"
#include "support/runrig.h"

#include <QDir>
#include <QTest>

using namespace fotolista;

namespace {

using Rows = QList<QPair<QString, QString>>;

/// "ROW kind" for each finding, in the order found.
QStringList kindsOf(const CheckResult& result)
{
    QStringList out;
    for (const Finding& f : result.findings)
        out << QString::number(f.row) + " " + findingKindName(f.kind);
    return out;
}

}  // namespace

class TestBatchCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    // Each kind beside rows that must give nothing; photos 1, 2 and 3 are there.
    void eachKindOfFinding_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QStringList>("files");  // made besides; "roto" is no photo, "enorme" claims 60000 x 60000
        QTest::addColumn<QStringList>("expected");
        const QString tooLong(300, QLatin1Char('n'));
        QTest::newRow("nothing to say") << Rows{{"1", "A"}, {"2", "B"}, {"3", "C"}} << QStringList() << QStringList();
        QTest::newRow("falta-origen, no other extension tried")
            << Rows{{"1", "A"}, {"9", "B"}, {"2", "C"}, {"4", "D"}} << QStringList{"fuente/4.jpeg"}
            << QStringList{"10 falta-origen", "18 falta-origen", "18 otro-formato", "0 sin-usar"};
        QTest::newRow("origen-vacio") << Rows{{"1", "A"}, {"", "B"}, {"2", "C"}} << QStringList()
                                      << QStringList{"10 origen-vacio", "0 sin-usar"};
        QTest::newRow("nombre-no-valido")
            << Rows{{"1", "A"},
                    {"..\\fuente\\2", "B"},
                    {"2", "/tmp/C"},
                    {"2", ""},
                    {"3", QString("E") + QChar(0)},
                    {"3", tooLong},
                    {tooLong, "G"},
                    {"3", "no\\H"},
                    {"3", "sub\\I"}}
            << QStringList{"destino/sub/.keep"}
            << QStringList{"10 nombre-no-valido", "14 nombre-no-valido", "18 origen-repetido",  "18 nombre-no-valido",
                           "22 nombre-no-valido", "26 origen-repetido",  "26 nombre-no-valido", "30 nombre-no-valido",
                           "34 origen-repetido",  "34 nombre-no-valido", "38 origen-repetido"};
        QTest::newRow("destino-repetido") << Rows{{"1", "A"}, {"2", "B"}, {"3", "A"}, {"1", "a"}} << QStringList()
                                          << QStringList{"14 destino-repetido", "18 origen-repetido"};
        QTest::newRow("destino-repetido: one file, other spellings")
            << Rows{{"1", "sub/A"}, {"2", "sub//A"}, {"3", "B"}, {"1", "pequeñas\\B_p"}}
            << QStringList{"destino/sub/.keep", "destino/pequeñas/.keep"}
            << QStringList{"10 destino-repetido", "18 origen-repetido", "18 destino-repetido"};
        QTest::newRow("no-legible") << Rows{{"1", "A"}, {"roto", "B"}, {"2", "C"}, {"enorme", "D"}}
                                    << QStringList{"fuente/roto.jpg", "fuente/enorme.jpg"}
                                    << QStringList{"10 no-legible", "18 no-legible", "0 sin-usar"};
        QTest::newRow("sobrescribe") << Rows{{"1", "A"}, {"2", "B"}, {"3", "C"}}
                                     << QStringList{"destino/B.jpg", "destino/pequeñas/C_p.jpg"}
                                     << QStringList{"10 sobrescribe", "14 sobrescribe"};
        QTest::newRow("origen-repetido, also in other letter case")
            << Rows{{"1", "A"}, {"2", "B"}, {"3", "C"}, {"X", "D"}, {"x", "E"}} << QStringList{"fuente/x.JPG"}
            << QStringList{"22 origen-repetido"};
        QTest::newRow("sin-usar, neither hidden nor written files")
            << Rows{{"1", "A"}, {"3", "C"}}
            << QStringList{"fuente/notas.txt", "fuente/.oculta.jpg", "fuente/destino/9.jpg", "fuente/sub/8.JPG"}
            << QStringList{"0 sin-usar", "0 sin-usar"};
        QTest::newRow("otro-formato, espacios, extension-doble")
            << Rows{{"1", "A"}, {"IMG_5", "B"}, {"2 ", "C"}, {"3.jpg", "D"}, {"1", " E.jpg"}}
            << QStringList{"fuente/IMG_5.HEIC"}
            << QStringList{"10 falta-origen",    "10 otro-formato", "14 espacios", "14 falta-origen",
                           "18 extension-doble", "18 falta-origen", "22 espacios", "22 extension-doble",
                           "22 origen-repetido", "0 sin-usar",      "0 sin-usar"};
        QTest::newRow("se-amplia") << Rows{{"1", "A"}, {"chica", "B"}} << QStringList{"fuente/chica.jpg"}
                                   << QStringList{"10 se-amplia", "0 sin-usar", "0 sin-usar"};
        QTest::newRow("ambiguo") << Rows{{"1", "A"}, {"2", "B"}, {"3", "C"}, {"abc", "D"}}
                                 << QStringList{"fuente/abc.jpg", "fuente/ABC.JPG"}
                                 << QStringList{"18 ambiguo", "0 sin-usar"};
    }

    void eachKindOfFinding()
    {
        QFETCH(Rows, rows);
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        RunRig rig;
        rig.settings.setWatermarkInteriorOnly(true);  // the code's findings: tst_codeandmark
        for (const char* name : {"1.jpg", "2.jpg", "3.JPG"})
            rig.addPhoto(name, 450, 300);  // wider than the large copy: not enlarged
        for (const QString& file : files) {
            const QString path = rig.dir.filePath(file);
            QDir().mkpath(QFileInfo(path).path());
            if (file.contains("enorme")) {
                QVERIFY(fixtures::writeJpeg(path, 16, 16));
                const QByteArray claiming = fixtures::jpegClaimingSize(fixtures::readBytes(path), 60000, 60000);
                QVERIFY(fixtures::writeBytes(path, claiming));
            } else {
                QVERIFY(file.endsWith("jpg", Qt::CaseInsensitive) && !file.contains("roto")
                            ? fixtures::writeJpeg(path, file.contains("chica") ? 40 : 450, 300)
                            : fixtures::writeBytes(path, "no es una foto"));
            }
        }
        // A destination inside the source folder is not searched for sources.
        if (files.contains("fuente/destino/9.jpg"))
            rig.settings.setDestinationFolder(rig.source + "/destino");
        rig.setRows(rows);
        const CheckResult result = checkBatch(rig.settings, rig.reader);
        QCOMPARE(result.end, CheckEnd::Checked);
        QCOMPARE(result.rowCount, rows.size());
        QCOMPARE(kindsOf(result).join(", "), expected.join(", "));
    }

    // The problems are the rows a run leaves without images; the check writes nothing.
    void agreesWithARunAndWritesNothing()
    {
        RunRig rig;
        rig.addPhoto("1.jpg");
        rig.addPhoto("2.jpg");
        rig.addPhoto("tira.jpg", 2000, 2);  // its small copy would be 0 pixels tall
        fixtures::writeBytes(rig.source + "/roto.jpg", "no es una foto");
        rig.setRows({{"1", "A"},
                     {"9", "B"},
                     {"", "C"},
                     {"roto", "D"},
                     {"2", QString(300, 'x')},
                     {"2", "no\\E"},
                     {"..\\fuente\\1", "F"},
                     {"1\n\t", "G"},
                     {"2", "H"},
                     {"tira", "I"}});
        const QStringList before = fixtures::filesUnder(rig.dir.path());
        const CheckResult result = checkBatch(rig.settings, rig.reader);
        QCOMPARE(fixtures::filesUnder(rig.dir.path()), before);
        QList<qint64> problemRows;
        for (const Finding& f : result.findings)
            if (isProblem(f.kind))
                problemRows << f.row;
        rig.run();
        QList<qint64> rowsWithoutImages;
        for (const RowReport& r : rig.view.rows)
            if (r.outcome != RowOutcome::Written)
                rowsWithoutImages << 6 + 4 * (r.passNumber - 1);
        QCOMPARE(problemRows, rowsWithoutImages);
        QCOMPARE(problemRows.size(), 8);
    }

    // The check reads a header as the run does: by the content, and with the
    // sides of the picture as it will stand. A 30000 x 150 strip turned
    // upright makes a large copy 600 wide of 600 x 120000 pixels, past the
    // limit; as stored, 600 x 3.
    void readsHeadersAsTheRunDoes_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<bool>("autorotate");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a PNG named .jpg") << "png" << true << QStringList();
        QTest::newRow("a strip turned upright") << "strip" << true << QStringList{"10 no-legible"};
        QTest::newRow("the same strip as stored") << "strip" << false << QStringList();
    }

    void readsHeadersAsTheRunDoes()
    {
        QFETCH(QString, photo);
        QFETCH(bool, autorotate);
        QFETCH(QStringList, expected);
        RunRig rig;
        rig.addPhoto("1.jpg", 700, 500);
        const QString path = rig.source + "/2.jpg";
        if (photo == "png") {
            QVERIFY(fixtures::writePng(path, 700, 300, 0x336699));
        } else {
            QVERIFY(fixtures::writeJpeg(path, 30000, 150));
            bool ok = false;
            photofixtures::run("exiftool", {"-q", "-overwrite_original", "-Orientation#=6", path}, &ok);
            QVERIFY(ok);
        }
        rig.settings.setAutorotate(autorotate);
        rig.settings.disableWatermark();  // a strip 3 pixels high has no room for the mark
        rig.settings.setLargeWidth(600);
        rig.setRows({{"1", "A"}, {"2", "B"}});
        QCOMPARE(kindsOf(checkBatch(rig.settings, rig.reader)), expected);
        // Its findings are the rows the run leaves without images.
        QCOMPARE(rig.run().written, 2 - expected.size());
    }

    void pathsComparedAsTheFileSystemCompares()
    {
        QCOMPARE(comparedPath("/d//sub/./ABC.jpg", false), "/d/sub/ABC.jpg");
        QCOMPARE(comparedPath("/d//sub/./AÑO.JPG", true), "/d/sub/año.jpg");
        // The test folders are on a Linux file system, which tells case apart;
        // asking it writes nothing.
        QTemporaryDir dir;
        fixtures::writeBytes(dir.filePath("Foto.jpg"), "x");
        QVERIFY(!foldsLetterCase(dir.path()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Foto.jpg"});
    }
};

QTEST_GUILESS_MAIN(TestBatchCheck)
#include "tst_batchcheck.moc"
