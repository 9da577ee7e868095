#include "core/check/batchcheck.h"
#include "core/image/bitmap.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

using namespace fotolista;

using fixtures::near;

namespace {

constexpr quint32 kGrey = 0x808080;

/// A solid colour of its own for each distinct character: channels of 0, 128
/// or 255, so any two differ by half the range; never the photo's grey nor
/// the band's blue.
QHash<char32_t, quint32> glyphColours(const QString& code)
{
    QList<quint32> palette;
    for (int i = 0; i < 27; ++i) {
        const auto level = [](int v) { return quint32(v == 0 ? 0 : v == 1 ? 0x80 : 0xFF); };
        const quint32 rgb = level(i / 9) << 16 | level(i / 3 % 3) << 8 | level(i % 3);
        if (rgb != kGrey && rgb != RunRig::kBand)
            palette << rgb;
    }
    QHash<char32_t, quint32> colours;
    for (const char32_t c : code.toUcs4())
        if (!colours.contains(c))
            colours.insert(c, palette.at(colours.size()));
    return colours;
}

/// The findings of the check, "ROW kind: detail".
QStringList findings(RunRig& rig)
{
    QStringList out;
    for (const Finding& f : checkBatch(rig.settings, rig.reader, &rig.placement).findings)
        out << QString::number(f.row) + " " + findingKindName(f.kind) + ": " + f.detail;
    return out;
}

}  // namespace

class TestCodeAndMark : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    // Every character lands in its column, in its own colour: the code is whole.
    void everyGlyphInItsColumn_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("pitch");
        QTest::addColumn<int>("stamped");
        QTest::newRow("nine characters at 409: from 319, as always") << "ABCDEFGHI" << 409 << 319 << 10 << 9;
        QTest::newRow("Ñ") << "TAZA-Ñ01" << 409 << 319 << 10 << 8;
        QTest::newRow("é") << "Café-250g" << 409 << 319 << 10 << 9;
        QTest::newRow("13 distinct: shifted left, ending as nine do") << "0123456789ABC" << 409 << 279 << 10 << 13;
        QTest::newRow("25: narrower columns") << "ABCDEFGHIJKLMNOPQRSTUVWXY" << 409 << 207 << 8 << 25;
        QTest::newRow("40: six pixels, as many as fit") << QString("0123456789").repeated(4) << 409 << 207 << 6 << 33;
        QTest::newRow("800: the same distance from the right edge") << "CAM-002 AZUL" << 800 << 680 << 10 << 12;
    }

    void everyGlyphInItsColumn()
    {
        QFETCH(QString, code);
        QFETCH(int, width);
        QFETCH(int, first);
        QFETCH(int, pitch);
        QFETCH(int, stamped);
        RunRig rig;
        rig.settings.chooseQuality(JpegQuality::High);
        rig.settings.setLargeWidth(qint16(width));
        rig.setRows({{"1", code}});
        rig.addPhoto("1.jpg", 1000, 750, kGrey);
        const QHash<char32_t, quint32> colours = glyphColours(code);
        for (auto it = colours.begin(); it != colours.end(); ++it)
            QVERIFY(fixtures::writeJpeg(rig.marks + "/" + QString::fromUcs4(&it.key(), 1) + ".jpg", 9, 16, it.value()));
        QCOMPARE(rig.run().written, 1);
        const fixtures::Picture out = fixtures::picture(rig.large(code));
        const int glyphTop = (width * 750 / 1000) - 24 + 6;  // floor of the exact height, less the band, plus 6
        const QList<uint> characters = code.toUcs4();
        for (int k = 0; k < stamped; ++k) {
            const int x = first + pitch * k + std::min(pitch, 9) / 2;
            QVERIFY2(near(out.at(x, glyphTop + 8), colours.value(characters[k]), 48),
                     qPrintable(QString("column %1 at x = %2").arg(k + 1).arg(x)));
        }
        // Nothing before the first column; the last one ends where a nine-character code's does.
        QVERIFY(!near(out.at(first - 2, glyphTop + 8), colours.value(characters[0]), 48));
        QVERIFY(!near(out.at(width - 1, glyphTop + 8), colours.value(characters[stamped - 1]), 48));
        // The check says which codes are cut, and by how much.
        const QStringList said = findings(rig).filter("codigo-largo");
        QCOMPARE(said.size(), stamped < characters.size() ? 1 : 0);
        if (!said.isEmpty())
            QVERIFY(said[0].contains(
                QString("tiene %1 caracteres y en la banda caben %2").arg(characters.size()).arg(stamped)));
    }

    // What the check says of the band and the pictures of a code.
    void watermarkFindings_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("pictures");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("interiorOnly");
        QTest::addColumn<QStringList>("expected");  // each found, in order, by its start
        QTest::newRow("every picture there") << "AB-1"
                                             << "AB-1" << 409 << false << QStringList();
        QTest::newRow("Ñ and é without pictures, said once each")
            << "ÑoÑé"
            << "o" << 409 << false << QStringList{"10 sin-glifo: A10 «ÑoÑé»: faltan los dibujos de «Ñ», «é» en "};
        QTest::newRow("a blank and a plus without pictures")
            << "A B+C"
            << "ABC" << 409 << false << QStringList{"10 sin-glifo: A10 «A B+C»: faltan los dibujos de « », «+»"};
        QTest::newRow("only the characters stamped count")
            << QString(33, 'A') + "Ñ"
            << "A" << 409 << false << QStringList{"10 codigo-largo: A10 "};
        QTest::newRow("a band narrower than the copy")
            << "A"
            << "A" << 800 << false
            << QStringList{
                   "0 banda-estrecha: agua.jpg mide 408 píxeles de ancho y la copia grande, 800: la banda no llega al "
                   "borde derecho y el código queda fuera de ella; «Crear marca de agua propia...» "
                   "(fotolista-batch watermark) hace una de 799"};
        QTest::newRow("interior only: no band, no code") << "ÑÑ"
                                                         << "" << 800 << true << QStringList();
    }

    void watermarkFindings()
    {
        QFETCH(QString, code);
        QFETCH(QString, pictures);
        QFETCH(int, width);
        QFETCH(bool, interiorOnly);
        QFETCH(QStringList, expected);
        RunRig rig;
        rig.settings.setLargeWidth(qint16(width));
        rig.settings.setWatermarkInteriorOnly(interiorOnly);
        rig.setRows({{"1", "1"}, {"1", code}});
        rig.addPhoto("1.jpg", 1000, 750);
        for (const char32_t c : pictures.toUcs4())
            QVERIFY(fixtures::writeJpeg(rig.marks + "/" + QString::fromUcs4(&c, 1) + ".jpg", 9, 16, 0xFFFFFF));
        QVERIFY(fixtures::writeJpeg(rig.marks + "/1.jpg", 9, 16, 0xFFFFFF));
        const QStringList found = findings(rig).filter(QRegularExpression("sin-glifo|codigo-largo|banda|marca"));
        QCOMPARE(found.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(found[i].startsWith(expected[i]), qPrintable(found[i]));
    }

    // The program's own pictures hold every character a Spanish shop types.
    void theDefaultFolderSpeaksSpanish()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        rig.setRows({{"1", "0123456789"},
                     {"1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
                     {"1", "abcdefghijklmnopqrstuvwxyz"},
                     {"1", "ÁÉÍÓÚÜÑáéíóúüñÇç"},
                     {"1", "-_.+()&# "},
                     {"1", "TAZA-Ñ01"},
                     {"1", "Café-250g"}});
        rig.addPhoto("1.jpg", 1000, 750);
        QCOMPARE(findings(rig).filter("sin-glifo"), QStringList());
    }

    // A mark placed by hand below a short copy: left out and noted, or moved in.
    void markOnAShortCopy_data()
    {
        QTest::addColumn<int>("photoHeight");  // of 1000 wide; the copy is 409 wide
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<bool>("sample");  // the 409 x 320 picture it was placed on is there
        QTest::addColumn<int>("x");  // where the mark lands; -1: nowhere
        QTest::addColumn<int>("y");
        QTest::newRow("left out, and noted") << 300 << 20 << 200 << false << true << -1 << -1;
        QTest::newRow("moved: 70 from the bottom, as on the sample") << 300 << 20 << 200 << true << true << 20 << 3;
        QTest::newRow("moved: the sample unknown, at the bottom edge") << 300 << 20 << 200 << true << false << 20 << 73;
        QTest::newRow("moved on both sides, pressed against the edges its distances do not fit")
            << 300 << 350 << 130 << true << true << 309 << 73;
        QTest::newRow("it fits: not moved") << 750 << 20 << 200 << true << true << 20 << 200;
        QTest::newRow("a copy lower than the mark: noted all the same") << 100 << 20 << 0 << true << true << -1 << -1;
    }

    void markOnAShortCopy()
    {
        QFETCH(int, photoHeight);
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(bool, fit);
        QFETCH(bool, sample);
        QFETCH(int, x);
        QFETCH(int, y);
        RunRig rig;
        rig.settings.setWatermarkInteriorOnly(true);
        rig.settings.setWatermarkManualPlacement(true);
        rig.settings.setFitMark(fit);
        rig.placement.set(WatermarkPlacement{false, left, top, 255});
        if (sample) {
            QDir().mkpath(rig.settings.defaultWatermarkFolder());
            QVERIFY(fixtures::writeJpeg(rig.settings.defaultWatermarkFolder() + "/previa.jpg", 409, 320));
        }
        rig.setRows({{"1", "A"}});
        rig.addPhoto("1.jpg", 1000, photoHeight, kGrey);
        QCOMPARE(rig.run().written, 1);
        const fixtures::Picture out = fixtures::picture(rig.large("A"));
        int marked = 0;
        for (const quint32 rgb : out.rgb)
            marked += near(rgb, RunRig::kMark, 40) ? 1 : 0;
        QCOMPARE(marked > 0, x >= 0);
        if (x >= 0) {
            // Its corners (blurred a little by the JPEG blocks), and nothing past them.
            QVERIFY(near(out.at(x + 4, y + 4), RunRig::kMark, 60));
            QVERIFY(near(out.at(x + 95, y + 45), RunRig::kMark, 60));
            if (x >= 3)
                QVERIFY(near(out.at(x - 3, y + 25), kGrey, 40));
            if (y >= 3)
                QVERIFY(near(out.at(x + 50, y - 3), kGrey, 40));
        }
        QCOMPARE(findings(rig).filter("marca-fuera").size(), x < 0 ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestCodeAndMark)
#include "tst_codeandmark.moc"
