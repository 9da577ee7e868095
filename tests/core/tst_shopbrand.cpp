#include "brand/shopbrand.h"
#include "core/check/batchcheck.h"
#include "core/image/bitmap.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace fotolista;

using fixtures::near;

namespace {

const QString kProgram = QStringLiteral(FOTOLISTA_BIN_DIR "/fotolista-batch");

/// Every file a made folder must hold: the band, the mark, the two preview
/// pictures and one per character (the blank as " .jpg", the full stop as punto.jpg).
QStringList expectedFiles()
{
    QStringList files{"agua.jpg", "marca.png", "previa.jpg", "temporal.jpg", " .jpg", "punto.jpg"};
    for (const QChar c : QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                        "ÁÉÍÓÚÜÑáéíóúüñÇç-_+()&#"))
        files << QString(c) + ".jpg";
    files.sort();
    return files;
}

struct Made {
    int exitCode = -1;
    QString out;
    QString err;
};

Made make(const QStringList& args)
{
    QProcess p;
    p.start(kProgram, QStringList{"watermark"} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class TestShopBrand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    // The command makes a whole folder for the width asked, and a run stamps with it.
    void aFolderMadeAndUsed_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("409") << 409;
        QTest::newRow("800") << 800;
    }

    void aFolderMadeAndUsed()
    {
        QFETCH(int, width);
        QTemporaryDir dir;
        const QString folder = dir.filePath("Mi Tienda");
        const Made made = make({"--text", "Mi Tienda", "--band-colour", "#103050", "--text-colour", "#FFE080",
                                "--large-width", QString::number(width), folder});
        QCOMPARE(made.exitCode, 0);
        QVERIFY(made.out.contains("agua.jpg (" + QString::number(width - 1) + " × 24)"));
        QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        QCOMPARE(files, expectedFiles());
        QCOMPARE(fixtures::decode(folder + "/agua.jpg").width, width - 1);
        QCOMPARE(fixtures::decode(folder + "/agua.jpg").height, 24);
        QCOMPARE(fixtures::decode(folder + "/marca.png").bpp, 24);  // a mark with alpha is never pasted
        for (const char* glyph : {"Ñ.jpg", "é.jpg", "W.jpg", " .jpg"}) {
            QCOMPARE(fixtures::decode(folder + "/" + QString::fromUtf8(glyph)).width, 9);
            QCOMPARE(fixtures::decode(folder + "/" + QString::fromUtf8(glyph)).height, 16);
        }

        RunRig rig(folder);
        rig.settings.setLargeWidth(qint16(width));
        rig.setRows({{"1", "TAZA-Ñ01"}, {"1", "CAMISETA-ROJA"}});
        rig.addPhoto("1.jpg", 1000, 750, 0x808080);
        QStringList said;
        for (const Finding& f : checkBatch(rig.settings, rig.reader).findings)
            said << findingKindName(f.kind);
        QCOMPARE(said, QStringList{"origen-repetido"});
        QCOMPARE(rig.run().written, 2);
        const fixtures::Picture out = fixtures::picture(rig.large("CAMISETA-ROJA"));
        const int glyphTop = width * 750 / 1000 - 24 + 6;
        // The band reaches the right edge; each of the 13 columns, the last
        // where a nine-character code's ends, holds ink over the band.
        QVERIFY(near(out.at(width - 2, glyphTop - 3), 0x103050, 24));
        for (int k = 0; k < 13; ++k) {
            bool ink = false;
            for (int x = width - 130 + 10 * k; x < width - 121 + 10 * k; ++x)
                for (int y = glyphTop; y < glyphTop + 16; ++y)
                    ink = ink || !near(out.at(x, y), 0x103050, 60);
            QVERIFY2(ink, qPrintable(QString("column %1").arg(k + 1)));
        }
    }

    // What the maker refuses, and why; nothing is written for a refusal.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no name, no logo") << QStringList{"CARPETA"} << 2 << "necesita --text NOMBRE o --logo ARCHIVO";
        QTest::newRow("a colour not #RRGGBB") << QStringList{"--text", "T", "--band-colour", "azul", "CARPETA"} << 2
                                              << "--band-colour espera un color #RRGGBB, no «azul»";
        QTest::newRow("a font not installed") << QStringList{"--text", "T", "--font", "No Existe Sans", "CARPETA"} << 2
                                              << "la fuente «No Existe Sans» no está instalada";
        QTest::newRow("a logo that is no picture")
            << QStringList{"--text", "T", "--logo", "LOGO", "CARPETA"} << 2 << "no es una imagen PNG, SVG ni JPEG";
        QTest::newRow("a folder with files") << QStringList{"--text", "T", "LLENA"} << 1 << "no está vacía";
    }

    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        fixtures::writeBytes(dir.filePath("logo.png"), "no es un logotipo");
        QDir().mkpath(dir.filePath("llena"));
        fixtures::writeBytes(dir.filePath("llena/notas.txt"), "de la tienda");
        args.replaceInStrings("CARPETA", dir.filePath("nueva"));
        args.replaceInStrings("LLENA", dir.filePath("llena"));
        args.replaceInStrings("LOGO", dir.filePath("logo.png"));
        const Made made = make(args);
        QCOMPARE(made.exitCode, exitCode);
        QVERIFY2(made.err.contains(message), qPrintable(made.err));
        QVERIFY(!QFileInfo::exists(dir.filePath("nueva")));
        QCOMPARE(QDir(dir.filePath("llena")).entryList(QDir::Files), QStringList{"notas.txt"});
    }

    // A logo with transparency goes on the mark over the band's colour; on a
    // file system that takes a.jpg for A.jpg the second of each pair is refused.
    void aLogoAndAFoldingFileSystem()
    {
        QTemporaryDir dir;
        QVERIFY(fixtures::writePng(dir.filePath("logo.png"), 200, 100, 0x20C040, true));
        ShopBrand brand;
        brand.logoPath = dir.filePath("logo.png");
        brand.name = "Tienda";
        const BrandPictures pictures = drawBrand(brand);
        QVERIFY(pictures.problem.isEmpty());
        // On the mark, the logo alone; on the band, the logo first and the name after it.
        const QImage& mark = pictures.mark;
        // The fixture's logo is half transparent: half of it, half the band's colour.
        const QColor band = brand.bandColour;
        const quint32 halfway = quint32((0x20 + band.red()) / 2) << 16 | quint32((0xC0 + band.green()) / 2) << 8
                                | quint32((0x40 + band.blue()) / 2);
        QVERIFY(near(mark.pixel(mark.width() / 2, mark.height() / 2) & 0xFFFFFF, halfway, 8));
        int logoEnd = -1;
        int nameStart = pictures.band.width();
        for (int x = 0; x < pictures.band.width(); ++x)
            for (int y = 0; y < pictures.band.height(); ++y) {
                const quint32 rgb = pictures.band.pixel(x, y) & 0xFFFFFF;
                if (near(rgb, halfway, 8))
                    logoEnd = x;
                if (near(rgb, brand.textColour.rgb() & 0xFFFFFF, 40))
                    nameStart = std::min(nameStart, x);
            }
        QVERIFY(logoEnd > 0);
        QVERIFY2(nameStart > logoEnd, qPrintable(QString("%1 <= %2").arg(nameStart).arg(logoEnd)));
        const BrandFolderResult result = writeBrandFolder(pictures, QImage(), dir.filePath("fat"), 409, 24, true);
        QVERIFY(result.ok);
        QVERIFY(result.refused.contains("a.jpg"));
        QVERIFY(result.refused.contains("ñ.jpg"));
        QVERIFY(!result.refused.contains("A.jpg"));
        QVERIFY(!QFileInfo::exists(dir.filePath("fat/a.jpg")));
        QVERIFY(QFileInfo::exists(dir.filePath("fat/A.jpg")));
    }
};

QTEST_MAIN(TestShopBrand)
#include "tst_shopbrand.moc"
