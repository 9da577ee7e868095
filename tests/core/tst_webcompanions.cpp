#include "core/base/safewrite.h"
#include "core/image/bitmap.h"
#include "core/image/photoheader.h"
#include "core/image/photointake.h"
#include "core/image/webformats.h"
#include "core/report/batchrecord.h"
#include "core/report/manifest.h"
#include "core/report/picturesnippet.h"
#include "core/run/outputguard.h"
#include "core/run/webcompanions.h"
#include "core/summary/summarytexts.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace fotolista;

Q_DECLARE_METATYPE(JpegQuality)
Q_DECLARE_METATYPE(WebFormat)

namespace {

/// A picture of a file of any format the program reads, 24-bit; null when it does not decode.
Bitmap decoded(const QString& path)
{
    const PhotoHeader header = readPhotoHeader(path);
    Bitmap b = decodePhoto(path, header, PhotoOptions{}).bitmap;
    return b.bitsPerPixel() == 24 ? std::move(b) : b.convertedTo24Bits();
}

/// The same as a PNG, which the fixtures measure.
QString asPng(const QString& path)
{
    const QString png = path + ".png";
    return saveBitmap(ImageFormat::Png, decoded(path), png, 0) ? png : QString();
}

/// A CSV text read back field by field (RFC 4180: quoted fields, doubled
/// quotes, CR LF between records), independently of the writer.
QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += c, ++i;
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record << field, field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            record << field, field.clear();
            records << record, record.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

/// A rig without watermark, so that a copy's pixels are the rescale's own.
struct PlainRig : RunRig {
    PlainRig() { settings.disableWatermark(); }
};

}  // namespace

class TestWebCompanions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void encodersTakeEverySizeTheyCanHold_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("webp");  // whether WebP can hold it
        for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {2, 3}, {409, 307}, {145, 109}})
            for (const char* kind : {"colour", "grey", "alpha"})
                QTest::addRow("%dx%d %s", w, h, kind) << w << h << QString(kind) << true;
        QTest::newRow("WebP's widest") << 16383 << 2 << "colour" << true;
        QTest::newRow("past WebP's widest") << 16384 << 2 << "colour" << false;
    }

    void encodersTakeEverySizeTheyCanHold()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, kind);
        QFETCH(bool, webp);
        QTemporaryDir dir;
        const QString source = dir.filePath("source");
        QVERIFY(kind == "alpha" ? fixtures::writePng(source, width, height, 0x80336699, true)
                                : fixtures::writePhotoJpeg(source, width, height, 0, kind == "grey"));
        const Bitmap picture = decodePhoto(source, readPhotoHeader(source), PhotoOptions{}).bitmap;
        QVERIFY(!picture.isNull());
        for (const WebFormat f : {WebFormat::Webp, WebFormat::Avif}) {
            const QByteArray bytes = encodeWebFormat(f, picture, 50);
            const bool fits = f == WebFormat::Avif || webp;
            QCOMPARE(bytes.isEmpty(), !fits);
            if (!fits)
                continue;
            const QString path = dir.filePath("out." + webFormatExtension(f));
            QVERIFY(writeFileSafely(path, bytes));
            const Bitmap back = decoded(path);
            QCOMPARE(back.width(), width);
            QCOMPARE(back.height(), height);
        }
        QVERIFY(encodeWebFormat(WebFormat::Avif, Bitmap(), 50).isEmpty());
    }

    void companionsBesideEveryCopy_data()
    {
        QTest::addColumn<JpegQuality>("quality");
        QTest::newRow("Alta") << JpegQuality::High;
        QTest::newRow("Media") << JpegQuality::Medium;
        QTest::newRow("Baja") << JpegQuality::Low;
        QTest::newRow("Muy baja") << JpegQuality::VeryLow;
    }

    void companionsBesideEveryCopy()
    {
        QFETCH(JpegQuality, quality);
        PlainRig rig;
        QVERIFY(fixtures::writePhotoJpeg(rig.source + "/12345.jpg", 1200, 900, 0));
        rig.setRows({{"12345", "ABC"}});
        rig.settings.chooseQuality(quality);
        rig.settings.setWriteWebp(true);
        rig.settings.setWriteAvif(true);
        QCOMPARE(rig.run().written, 1);

        const Bitmap source = Bitmap::load(ImageFormat::Jpeg, rig.source + "/12345.jpg");
        const std::vector<RowFile>& files = rig.view.rows.at(0).files;
        QCOMPARE(files.size(), size_t(6));
        QStringList summary;
        const QList<SummaryEntry> roots = rig.view.tree.roots();
        for (const SummaryEntry& e : roots[0].children[0].children)
            summary << e.text;
        for (const QString& jpeg : {rig.large("ABC"), rig.small("ABC")}) {
            const Bitmap made = decoded(jpeg);
            // The pixels both were encoded from: the exact mode's rescale.
            const QString copy = jpeg + ".copia.png";
            QVERIFY(saveBitmap(ImageFormat::Png, source.rescaled(made.width(), made.height()), copy, 0));
            const double jpegPsnr = fixtures::psnr(asPng(jpeg), copy);
            for (const WebFormat f : {WebFormat::Webp, WebFormat::Avif}) {
                const QString path = companionPath(jpeg, f);
                const auto file =
                    std::find_if(files.begin(), files.end(), [&](const RowFile& r) { return r.path == path; });
                QVERIFY(file != files.end());
                QCOMPARE(QFileInfo::exists(path), file->written);
                if (!file->written) {
                    // Skipped only for being no smaller.
                    QVERIFY2(file->notSmaller, qPrintable(file->problem));
                    continue;
                }
                QVERIFY(QFileInfo(path).size() < QFileInfo(jpeg).size());
                const Bitmap back = decoded(path);
                QCOMPARE(back.width(), made.width());
                QCOMPARE(back.height(), made.height());
                // The quality table keeps each companion at least as close
                // to the pixels both were made from as its JPEG.
                const double psnr = fixtures::psnr(asPng(path), copy);
                QVERIFY2(psnr >= jpegPsnr,
                         qPrintable(QStringLiteral("%1: %2 dB, JPEG %3 dB").arg(path).arg(psnr).arg(jpegPsnr)));
                const QString size = QStringLiteral("Tam %1 %2: %3 Kb.")
                                         .arg(webFormatName(f), jpeg == rig.large("ABC") ? "Grande" : "Pequeña")
                                         .arg(kilobytes(QFileInfo(path).size()));
                QVERIFY2(summary.join('\n').contains(size), qPrintable(summary.join('\n')));
            }
        }
    }

    void aCompanionNoSmallerIsNotWritten_data()
    {
        QTest::addColumn<QByteArray>("jpeg");  // what lies at the JPEG's path
        QTest::addColumn<bool>("protectedName");
        QTest::addColumn<bool>("written");
        QTest::newRow("smaller than a large JPEG") << QByteArray(1 << 20, 'j') << false << true;
        QTest::newRow("no smaller than a tiny JPEG") << QByteArray(10, 'j') << false << false;
        QTest::newRow("its name is a photo of the workbook") << QByteArray(1 << 20, 'j') << true << false;
    }

    void aCompanionNoSmallerIsNotWritten()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(bool, protectedName);
        QFETCH(bool, written);
        QTemporaryDir dir;
        const QString jpegPath = dir.filePath("ABC.jpg");
        QVERIFY(fixtures::writeBytes(jpegPath, jpeg));
        QVERIFY(fixtures::writePhotoJpeg(dir.filePath("source.jpg"), 409, 307, 0));
        const Bitmap copy = Bitmap::load(ImageFormat::Jpeg, dir.filePath("source.jpg"));
        OutputGuard guard;
        // An earlier run's companion, or a photo the workbook reads.
        const QByteArray before = "older";
        for (const WebFormat f : {WebFormat::Webp, WebFormat::Avif}) {
            QVERIFY(fixtures::writeBytes(companionPath(jpegPath, f), before));
            if (protectedName)
                guard.protectSource(companionPath(jpegPath, f), 6);
        }
        std::vector<RowFile> files;
        writeCompanions({copy, jpegPath, true, JpegQuality::Medium, {WebFormat::Avif, WebFormat::Webp}, guard, 6},
                        files);
        QCOMPARE(files.size(), size_t(2));
        for (const RowFile& f : files) {
            QCOMPARE(f.written, written);
            QCOMPARE(f.notSmaller, !written && !protectedName);
            QCOMPARE(f.problem.isEmpty(), written);
            const QByteArray now = fixtures::readBytes(f.path);
            if (written)
                QVERIFY(!now.isEmpty() && now != before);
            else if (protectedName)
                QCOMPARE(now, before);  // a photo is never touched
            else
                QVERIFY(!QFileInfo::exists(f.path));  // no older pixels beside the new JPEG
        }
    }

    void thePictureElementEscapesEveryName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString shape = "<picture>\n"
                              "  <source srcset=\"@L.avif\" type=\"image/avif\">\n"
                              "  <source srcset=\"@L.webp\" type=\"image/webp\">\n"
                              "  <img src=\"@L.jpg\" width=\"409\" height=\"307\" alt=\"@A\">\n"
                              "</picture>";
        const auto row = [&](const char* tag, const QString& name, const QString& link, const QString& alt) {
            QTest::newRow(tag) << name << QString(shape).replace("@L", link).replace("@A", alt);
        };
        row("plain", "ABC", "ABC", "ABC");
        row("blank and comma split a srcset", "a b,c", "a%20b%2Cc", "a b,c");
        row("quotes end an attribute", "x\"y'z", "x%22y%27z", "x&quot;y&#39;z");
        row("markup", "<b>&amp;", "%3Cb%3E%26amp%3B", "&lt;b&gt;&amp;amp;");
        row("line break", "a\nb", "a%0Ab", "a\u240Ab");
        row("accents", "niño", "ni%C3%B1o", "niño");
        row("sub-folder", "sub/ABC", "sub/ABC", "sub/ABC");
    }

    void thePictureElementEscapesEveryName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const PictureSources s{name + ".jpg", name + ".webp", name + ".avif", 409, 307, name};
        QCOMPARE(pictureElement(s), expected);
    }

    void aPictureWithoutCompanionsIsTheJpegAlone()
    {
        QCOMPARE(pictureElement({"ABC.jpg", {}, {}, 145, 109, "ABC"}),
                 QString("<picture>\n  <img src=\"ABC.jpg\" width=\"145\" height=\"109\" alt=\"ABC\">\n</picture>"));
    }

    void theManifestReadsBackAsWritten()
    {
        PlainRig rig;
        const QStringList names{"plain", "with, comma", "with \"quotes\"", "two\nlines", " blank"};
        QList<QPair<QString, QString>> rows;
        for (int i = 0; i < names.size(); ++i) {
            rig.addPhoto(QString::number(100 + i) + ".jpg", 800, 600, 0x336699 + i);
            rows.append(qMakePair(QString::number(100 + i), names[i]));
        }
        rows.append(qMakePair(QString("999"), QString("missing")));
        rig.setRows(rows);
        rig.settings.setWriteWebp(true);
        BatchRecord record;
        record.begin(rig.settings, CheckResult{}, QDateTime::currentDateTime());
        rig.view.onRow = [&](const RowReport& r) { record.addRow(r); };
        rig.run();
        const QString path = rig.dir.filePath("lista.csv");
        QVERIFY(writeManifest(record, path));

        const QList<QStringList> lines = parseCsv(QString::fromUtf8(fixtures::readBytes(path)));
        QCOMPARE(lines.size(), names.size() + 2);
        QCOMPARE(lines[0].mid(0, 7), QStringList({"fila", "destino", "grande", "grande bytes", "grande anchura",
                                                  "grande altura", "grande motivo"}));
        const QStringList kinds{"grande", "pequeña", "grande webp", "pequeña webp"};
        QCOMPARE(lines[0].size(), 2 + 5 * kinds.size());
        for (int i = 0; i < names.size(); ++i) {
            const QStringList& f = lines[i + 1];
            QCOMPARE(f.size(), lines[0].size());
            QCOMPARE(f[0], QString::number(6 + 4 * i));
            QCOMPARE(f[1], names[i]);
            const QStringList files{rig.large(names[i]), rig.small(names[i]),
                                    companionPath(rig.large(names[i]), WebFormat::Webp),
                                    companionPath(rig.small(names[i]), WebFormat::Webp)};
#ifdef Q_OS_WIN
            // Windows holds no '"' and no line break in a name: those rows say why.
            const bool writable = !names[i].contains('"') && !names[i].contains('\n');
#else
            const bool writable = true;
#endif
            for (int k = 0; k < files.size(); ++k) {
                QCOMPARE(rig.destination + "/" + f[2 + 5 * k], files[k]);
                if (!writable) {
                    QCOMPARE(f[3 + 5 * k], QString());
                    QVERIFY2(f[6 + 5 * k].contains("que Windows no admite"), qPrintable(f[6 + 5 * k]));
                    continue;
                }
                QCOMPARE(f[3 + 5 * k], QString::number(QFileInfo(files[k]).size()));
                const Bitmap b = decoded(files[k]);
                QCOMPARE(f[4 + 5 * k], QString::number(b.width()));
                QCOMPARE(f[5 + 5 * k], QString::number(b.height()));
                QCOMPARE(f[6 + 5 * k], QString());
            }
        }
        const QStringList& missing = lines.last();
        QCOMPARE(missing[1], QString("missing"));
        for (int k = 0; k < kinds.size(); ++k) {
            QCOMPARE(missing[3 + 5 * k], QString());
            QVERIFY(!missing[6 + 5 * k].isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestWebCompanions)
#include "tst_webcompanions.moc"
