#include "core/image/bitmap.h"
#include "core/image/photointake.h"
#include "core/image/prepareimages.h"
#include "support/imagefixtures.h"
#include "support/photofixtures.h"
#include "support/tifffixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace fotolista;

using photofixtures::describe;
using photofixtures::difference;
using photofixtures::path;

Q_DECLARE_METATYPE(fixtures::TiffLayout)

namespace {

std::span<const std::byte> spanOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size())};
}

PhotoHeader headerOf(const QByteArray& bytes)
{
    MemorySource source(spanOf(bytes));
    return readPhotoHeader(source);
}

DecodedPhoto decode(const QString& name, bool autorotate = true)
{
    const QString file = path(name);
    return decodePhoto(file, readPhotoHeader(file), PhotoOptions{autorotate});
}

/// Compares a decoded photo with its reference; a row's tolerances.
#define COMPARE_WITH_REFERENCE(name, reference, largestAllowed, meanAllowed)                                           \
    do {                                                                                                               \
        const DecodedPhoto photo_ = decode(name);                                                                      \
        QVERIFY2(!photo_.bitmap.isNull(), qPrintable(photo_.problem));                                                 \
        const photofixtures::Difference d_ = difference(photo_.bitmap, path(reference));                               \
        QVERIFY2(d_.sameSize&& d_.largest <= (largestAllowed) && d_.mean <= (meanAllowed), qPrintable(describe(d_)));  \
    } while (false)

/// Where a dark line lies across a band of a copy: the darkness-weighted
/// mean column (or row, `rows`) over pixels [from, to) of that axis.
double lineAt(const fixtures::Picture& p, bool rows, int from, int to)
{
    double sum = 0, weight = 0;
    const int across = rows ? p.width : p.height;
    for (int i = from; i < to; ++i) {
        for (int j = 0; j < across; ++j) {
            const double dark = 255 - (rows ? p.at(j, i) : p.at(i, j)) % 256;
            sum += dark * i;
            weight += dark;
        }
    }
    return weight > 0 ? sum / weight : -1;
}

}  // namespace

class TestPhotoIntake : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QString error;
        QVERIFY2(!photofixtures::folder(&error).isEmpty(), qPrintable(error));
    }

    void turnsUprightAsTheCameraSays_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("container");
        QTest::addColumn<int>("tolerance");
        for (int o = 1; o <= 8; ++o)
            for (const auto& [container, tolerance] : {std::pair{"tif", 0}, {"png", 0}, {"webp", 0}, {"jpg", 12}})
                QTest::addRow("%d %s", o, container) << o << QString::fromLatin1(container) << tolerance;
    }

    void turnsUprightAsTheCameraSays()
    {
        QFETCH(int, orientation);
        QFETCH(QString, container);
        QFETCH(int, tolerance);
        const DecodedPhoto photo = decode(QStringLiteral("o%1.%2").arg(orientation).arg(container));
        QVERIFY2(!photo.bitmap.isNull(), qPrintable(photo.problem));
        const photofixtures::Difference right =
            difference(photo.bitmap, path(QStringLiteral("ref_o%1.png").arg(orientation)));
        QVERIFY2(right.sameSize && right.largest <= tolerance, qPrintable(describe(right)));
        // Every other turn or mirror of the picture is far from what we made.
        for (int other = 1; other <= 8; ++other) {
            if (other == orientation)
                continue;
            const photofixtures::Difference wrong =
                difference(photo.bitmap, path(QStringLiteral("ref_o%1.png").arg(other)));
            QVERIFY2(!wrong.sameSize || wrong.largest > 100, qPrintable(QString::number(other)));
        }
    }

    void keepsTheStoredOrderWhenAsked_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("turned, TIFF") << "o6.tif";
        QTest::newRow("mirrored, PNG") << "o2.png";
        QTest::newRow("transposed, WebP") << "o5.webp";
    }

    void keepsTheStoredOrderWhenAsked()
    {
        QFETCH(QString, name);
        const DecodedPhoto photo = decode(name, false);
        const photofixtures::Difference d = difference(photo.bitmap, path("asym.png"));
        QVERIFY2(d.sameSize && d.largest == 0, qPrintable(describe(d)));
    }

    void convertsEmbeddedProfilesToSrgb_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("largest");
        QTest::addColumn<double>("mean");
        // Lossless carriers: only the two conversions' rounding apart.
        for (const char* profile : {"adobe", "p3"})
            for (const char* ext : {"png", "tif"})
                QTest::addRow("%s %s", profile, ext) << QStringLiteral("%1.%2").arg(profile, ext)
                                                     << QStringLiteral("ref_%1_%2.png").arg(profile, ext) << 3 << 0.5;
        // JPEG: two decoders' rounding too, steepened by the conversion.
        QTest::newRow("adobe jpg") << "adobe.jpg"
                                   << "ref_adobe_jpg.png" << 24 << 1.5;
        QTest::newRow("p3 jpg") << "p3.jpg"
                                << "ref_p3_jpg.png" << 24 << 1.5;
        QTest::newRow("p3 heic") << "p3.heic"
                                 << "ref_p3.heic.png" << 3 << 0.5;
        QTest::newRow("p3 avif") << "p3.avif"
                                 << "ref_p3.avif.png" << 3 << 0.5;
        QTest::newRow("cmyk jpg, profile") << "cmyk_profile.jpg"
                                           << "ref_cmyk_profile_jpg.png" << 8 << 1.5;
        QTest::newRow("cmyk jpg, no profile") << "cmyk_plain.jpg"
                                              << "ref_cmyk_plain_jpg.png" << 8 << 1.5;
        // Without the Adobe mark the inks are stored as meant: same colours.
        QTest::newRow("cmyk jpg not inverted, profile") << "cmyk_noadobe_profile.jpg"
                                                        << "ref_cmyk_profile_jpg.png" << 8 << 1.5;
        QTest::newRow("cmyk jpg not inverted, no profile") << "cmyk_noadobe_plain.jpg"
                                                           << "ref_cmyk_plain_jpg.png" << 8 << 1.5;
        QTest::newRow("cmyk tif, profile") << "cmyk_profile.tif"
                                           << "ref_cmyk_profile_tif.png" << 3 << 1.0;
        QTest::newRow("cmyk tif, no profile") << "cmyk_plain.tif"
                                              << "ref_cmyk_plain_tif.png" << 1 << 0.5;
    }

    void convertsEmbeddedProfilesToSrgb()
    {
        QFETCH(QString, name);
        QFETCH(QString, reference);
        QFETCH(int, largest);
        QFETCH(double, mean);
        COMPARE_WITH_REFERENCE(name, reference, largest, mean);
    }

    void leavesSrgbAndUntaggedPhotosAsTheLibraryDecodesThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("sRGB profile") << "srgb_tagged.jpg";
        QTest::newRow("untagged JPEG") << "o1.jpg";
        QTest::newRow("untagged TIFF") << "o1.tif";
        QTest::newRow("EXIF without a turn") << "meta.jpg";
    }

    void leavesSrgbAndUntaggedPhotosAsTheLibraryDecodesThem()
    {
        // The reference is the file as the image library decodes it alone.
        QFETCH(QString, name);
        const DecodedPhoto photo = decode(name);
        const photofixtures::Difference d = difference(photo.bitmap, path(name));
        QVERIFY2(d.sameSize && d.largest == 0, qPrintable(describe(d)));
        QCOMPARE(photo.bitmap.bitsPerPixel(), 24);
    }

    void laysTransparencyOnWhite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("largest");
        for (const char* f :
             {"alpha.png", "alpha.tif", "alpha.webp", "alpha_lossy.webp", "palette.png", "grey_alpha.png"})
            QTest::newRow(f) << QString::fromLatin1(f) << QStringLiteral("ref_%1.png").arg(f) << 1;
        QTest::newRow("alpha.heic") << "alpha.heic"
                                    << "ref_alpha.heic.png" << 1;
    }

    void laysTransparencyOnWhite()
    {
        QFETCH(QString, name);
        QFETCH(QString, reference);
        QFETCH(int, largest);
        COMPARE_WITH_REFERENCE(name, reference, largest, 0.5);
    }

    void reducesSixteenBitsWithoutStretching_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("bitsPerPixel");
        QTest::newRow("grey png") << "grey16.png" << 8;
        QTest::newRow("grey tif") << "grey16.tif" << 8;
        QTest::newRow("colour png") << "rgb16.png" << 24;
        QTest::newRow("colour tif") << "rgb16.tif" << 24;
        QTest::newRow("colour and alpha png") << "rgba16.png" << 24;
    }

    void reducesSixteenBitsWithoutStretching()
    {
        QFETCH(QString, name);
        QFETCH(int, bitsPerPixel);
        // ImageMagick drops the fraction where we round it: one level apart
        // at most; a stretched range would be tens of levels off.
        COMPARE_WITH_REFERENCE(name, QStringLiteral("ref_%1.png").arg(name), 1, 1.0);
        QCOMPARE(decode(name).bitmap.bitsPerPixel(), bitsPerPixel);
    }

    void decodesTheNewFormats_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("HEIC") << "plain.heic";
        QTest::newRow("AVIF") << "plain.avif";
        QTest::newRow("WebP") << "plain.webp";
    }

    void decodesTheNewFormats()
    {
        QFETCH(QString, name);
        COMPARE_WITH_REFERENCE(name, QStringLiteral("ref_%1.png").arg(name), 1, 0.5);
    }

    void readsTheContentWhateverTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reference");
        QTest::newRow("PNG named .jpg") << "png_named.jpg"
                                        << "ref_alpha.png.png";
        QTest::newRow("JPEG named .tif") << "jpeg_named.tif"
                                         << "ref_o1.png";
        QTest::newRow("TIFF named .png") << "tiff_named.png"
                                         << "ref_o1.png";
        QTest::newRow("WebP named .heic") << "webp_named.heic"
                                          << "ref_plain.webp.png";
    }

    void readsTheContentWhateverTheName()
    {
        QFETCH(QString, name);
        QFETCH(QString, reference);
        COMPARE_WITH_REFERENCE(name, reference, 12, 1.0);
    }

    void tiffLayoutsTheLibraryCannotTakeAreRefused_data()
    {
        // A small TIFF with one tag changed; refusals say why (a fragment of it).
        QTest::addColumn<fixtures::TiffLayout>("layout");
        QTest::addColumn<int>("tag");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("refusal");  // empty: decoded
        using L = fixtures::TiffLayout;
        const L grey1{1, 1, 1}, grey4{4, 1, 1}, grey8{8, 1, 1}, grey16{16, 1, 1}, palette4{4, 1, 3}, rgb{};
        // The library asserts on planes of less than a byte a sample, and
        // on floating-point inks; it has no safe reading of the others.
        QTest::newRow("1-bit grey, separate planes") << grey1 << 284 << 2 << "planos separados con muestras de 1 bit";
        QTest::newRow("4-bit grey, separate planes") << grey4 << 284 << 2 << "planos separados";
        QTest::newRow("4-bit palette, separate planes") << palette4 << 284 << 2 << "planos separados";
        QTest::newRow("2-bit grey") << grey4 << 258 << 2 << "muestras de 2 bits";
        QTest::newRow("signed samples") << L{8, 3, 2, 1, 4, 1} << 339 << 2 << "con signo";
        QTest::newRow("floating-point inks") << L{32, 4, 5, 1, 4, 1} << 339 << 3 << "coma flotante";
        QTest::newRow("LogLuv") << rgb << 262 << 32844 << "tipo de color 32844";
        QTest::newRow("old-style JPEG") << rgb << 259 << 6 << "compresión 6";
        QTest::newRow("tiles 20 pixels wide") << L{8, 3, 2, 1, 4, 0, 16} << 322 << 20 << "mosaicos de 20 × 16";
        QTest::newRow("strips past the end of the file") << rgb << 273 << 100000 << "incompleta";
        QTest::newRow("strips shorter than their rows") << rgb << 279 << 100 << "incompleta";
        QTest::newRow("8-bit grey, separate planes") << grey8 << 284 << 2 << "";
        QTest::newRow("16-bit grey, separate planes") << grey16 << 284 << 2 << "";
        QTest::newRow("RGB, separate planes") << L{8, 3, 2, 2} << 0 << 0 << "";
        QTest::newRow("1-bit grey") << grey1 << 0 << 0 << "";
        QTest::newRow("4-bit palette") << palette4 << 0 << 0 << "";
        QTest::newRow("RGB in tiles") << L{8, 3, 2, 1, 4, 0, 16} << 0 << 0 << "";
        QTest::newRow("CMYK") << L{8, 4, 5} << 0 << 0 << "";
    }

    void tiffLayoutsTheLibraryCannotTakeAreRefused()
    {
        QFETCH(fixtures::TiffLayout, layout);
        QFETCH(int, tag);
        QFETCH(int, value);
        QFETCH(QString, refusal);
        QByteArray tiff = fixtures::handmadeTiff(40, 30, layout);
        if (tag)
            QVERIFY(fixtures::setTiffTag(tiff, quint16(tag), quint32(value)));
        // The header alone tells it, so the check does too.
        const PhotoHeader header = headerOf(tiff);
        QVERIFY2(header.problem.contains(refusal), qPrintable(header.problem));
        QCOMPARE(header.readable(), refusal.isEmpty());
        const DecodedPhoto photo = decodePhoto(spanOf(tiff), PhotoOptions{}, kMaxSourcePixels);
        QCOMPARE(photo.problem, header.problem);
        QCOMPARE(photo.bitmap.width(), refusal.isEmpty() ? 40 : 0);
    }

    void aThumbnailTheLibraryWouldLoadIsNeverGivenToIt()
    {
        // The library loads the directory after an EXIF one as a thumbnail,
        // unchecked: this one asserts. Only the first directory reaches it.
        const QByteArray tiff = fixtures::handmadeTiff(40, 30, {}, fixtures::TiffLayout{1, 1, 1, 2});
        const DecodedPhoto photo = decodePhoto(spanOf(tiff), PhotoOptions{}, kMaxSourcePixels);
        QVERIFY2(!photo.bitmap.isNull(), qPrintable(photo.problem));
        QCOMPARE(photo.bitmap.height(), 30);
    }

    void noTiffLayoutEndsTheProcess()
    {
        // Every combination of the fields the library's reader branches on:
        // each either decodes to its size or is refused with a reason. The
        // library alone aborts or crashes on 91 of the 4960 of a wider sweep.
        int decoded = 0;
        for (const int photometric : {0, 1, 2, 3, 5, 6, 32844})
            for (const int bits : {1, 2, 4, 8, 16, 32})
                for (int samples = 1; samples <= 5; ++samples)
                    for (const int planar : {1, 2})
                        for (const int format : {0, 2, 3})
                            for (const int tile : {0, 16}) {
                                const fixtures::TiffLayout l{bits, samples, photometric, planar, 4, format, tile};
                                const QByteArray tiff = fixtures::handmadeTiff(20, 18, l);
                                const DecodedPhoto photo = decodePhoto(spanOf(tiff), PhotoOptions{}, kMaxSourcePixels);
                                QVERIFY(photo.bitmap.isNull() ? !photo.problem.isEmpty() : photo.bitmap.width() == 20);
                                decoded += photo.bitmap.isNull() ? 0 : 1;
                            }
        QVERIFY(decoded > 50);
    }

    void picturesCutShortOrDamagedAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("headerTells");  // the check sees it without decoding
        QTest::newRow("TIFF, directory first, cut to 60 %") << "first.tif"
                                                            << "cut" << true;
        QTest::newRow("TIFF rewritten by exiftool, cut to 60 %") << "o1.tif"
                                                                 << "cut" << true;
        QTest::newRow("TIFF, directory last, cut to 60 %") << "lzw.tif"
                                                           << "cut" << true;
        QTest::newRow("TIFF, damaged LZW strips") << "lzw.tif"
                                                  << "scramble" << false;
        QTest::newRow("TIFF, JPEG strips cut short") << "jpeg.tif"
                                                     << "short strips" << false;
        QTest::newRow("PNG cut to 60 %") << "o1.png"
                                         << "cut" << true;
        QTest::newRow("PNG without its last chunk") << "o1.png"
                                                    << "no end" << true;
        QTest::newRow("PNG, damaged data") << "o1.png"
                                           << "scramble" << false;
        QTest::newRow("WebP cut to 60 %") << "o1.webp"
                                          << "cut" << true;
        QTest::newRow("HEIC cut to 60 %") << "plain.heic"
                                          << "cut" << true;
        QTest::newRow("AVIF cut to 60 %") << "plain.avif"
                                          << "cut" << true;
        QTest::newRow("JPEG cut to 60 %") << "o1.jpg"
                                          << "cut" << false;
        QTest::newRow("JPEG cut after a damaged stretch") << "o1.jpg"
                                                          << "scramble and cut" << false;
    }

    void picturesCutShortOrDamagedAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, damage);
        QFETCH(bool, headerTells);
        QTemporaryDir dir;
        const QString file = dir.filePath("photo");
        bool ok = true;
        if (name == "first.tif")
            fixtures::writeBytes(file, fixtures::handmadeTiff(300, 200));
        else if (name == "lzw.tif" || name == "jpeg.tif")
            photofixtures::run("convert", {path("sat.png"), "-compress", name.section('.', 0, 0), "TIFF:" + file}, &ok);
        else
            ok = QFile::copy(path(name), file);
        QVERIFY(ok);
        QByteArray bytes = fixtures::readBytes(file);
        QVERIFY(!decodePhoto(spanOf(bytes), PhotoOptions{}, kMaxSourcePixels).bitmap.isNull());
        if (damage.startsWith("scramble")) {
            // Inside the coded pixels: after the PNG's data chunk, the JPEG's
            // first scan, the TIFF's header (its directory comes last).
            const qsizetype at = name.endsWith(".png")   ? bytes.indexOf("IDAT") + 20
                                 : name.endsWith(".jpg") ? bytes.indexOf("\xFF\xDA") + 40
                                                         : 48;
            for (qsizetype i = at; i < at + 30; i += 3)
                bytes[i] = char(~bytes[i]);
        }
        if (damage.endsWith("cut"))
            bytes.truncate(bytes.size() * 6 / 10);
        if (damage == "no end")
            bytes.chop(12);
        if (damage == "short strips")
            QVERIFY(fixtures::setTiffTag(bytes, 279, 300));
        QCOMPARE(!headerOf(bytes).readable(), headerTells);
        const DecodedPhoto photo = decodePhoto(spanOf(bytes), PhotoOptions{}, kMaxSourcePixels);
        QVERIFY(photo.bitmap.isNull());
        QVERIFY(!photo.problem.isEmpty());
    }

    // The decoders allocate the coded size, whatever the file states: found by fuzzing.
    void heifCodingMoreThanItStatesIsRefused_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::newRow("AV1 sequence header of 32768 x 32768") << "regression-avif-sequence-larger-than-stated";
        QTest::newRow("grid of 37696 x 59176") << "regression-heic-grid-larger-than-stated";
    }

    void heifCodingMoreThanItStatesIsRefused()
    {
        QFETCH(QString, seed);
        const QByteArray bytes =
            fixtures::readBytes(QStringLiteral(FOTOLISTA_SOURCE_DIR "/fuzz/corpus/photointake/") + seed).mid(1);
        QVERIFY(!bytes.isEmpty());
        const QString why = QStringLiteral("la imagen HEIF declara un tamaño menor que el de sus imágenes codificadas");
        QCOMPARE(headerOf(bytes).problem, why);
        QCOMPARE(decodePhoto(spanOf(bytes), PhotoOptions{}, kMaxSourcePixels).problem, why);
    }

    void saysWhyAPhotoCannotBeRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem");
        QTest::newRow("text") << "text_named.jpg"
                              << "no es una imagen JPEG, TIFF, PNG, WebP, HEIC ni AVIF";
        QTest::newRow("empty") << "empty.jpg"
                               << "el archivo está vacío o no se puede leer";
        QTest::newRow("no decoder for the codec")
            << "vvc.heif"
            << "este equipo no tiene decodificador para la compresión de esta imagen HEIF";
        QTest::newRow("missing") << "none.jpg"
                                 << "el archivo no se puede abrir";
    }

    void saysWhyAPhotoCannotBeRead()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        const DecodedPhoto photo = decode(name);
        QVERIFY(photo.bitmap.isNull());
        QCOMPARE(photo.problem, problem);
        const PreparedImages prepared = prepareImages(PrepareRequest{path(name), false, true, 409, 145});
        QVERIFY(!prepared.decoded);
        QCOMPARE(prepared.problem, problem);
    }

    void refusesOversizedPhotosOfEveryFormatBeforeDecoding_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* f : {"huge.jpg", "huge.tif", "huge.png", "huge.webp", "huge.heic"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }

    void refusesOversizedPhotosOfEveryFormatBeforeDecoding()
    {
        QFETCH(QString, name);
        for (const bool fast : {false, true}) {
            const PreparedImages p = prepareImages(PrepareRequest{path(name), fast, true, 409, 145});
            QVERIFY(p.tooLarge);
            QVERIFY(!p.decoded);
        }
    }

    void survivesMetadataTheLibraryWouldMisread_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fast");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("JPEG") << "bad_exif.jpg" << false << 12;
        QTest::newRow("JPEG, fast read") << "bad_exif.jpg" << true << 12;
        QTest::newRow("WebP") << "bad_exif.webp" << false << 0;
        for (const char* where : {"garbage", "unknown", "jfxx", "scans"}) {
            const QString name = QStringLiteral("bad_exif_%1.jpg").arg(where);
            QTest::addRow("JPEG, %s", where) << name << false << 12;
            QTest::addRow("JPEG, %s, fast read", where) << name << true << 12;
        }
    }

    void survivesMetadataTheLibraryWouldMisread()
    {
        // The image library alone crashes on these files: the intake keeps
        // the metadata away from it and reads the pixels.
        QFETCH(QString, name);
        QFETCH(bool, fast);
        QFETCH(int, tolerance);
        const DecodedPhoto photo = decode(name);
        const photofixtures::Difference d = difference(photo.bitmap, path("ref_o1.png"));
        QVERIFY2(d.sameSize && d.largest <= tolerance, qPrintable(describe(d) + photo.problem));
        // 96 x 64 is below any reduction: the fast read decodes it whole.
        const PreparedImages p = prepareImages(PrepareRequest{path(name), fast, true, 48, 24});
        QVERIFY2(p.decoded, qPrintable(p.problem));
        QCOMPARE(p.large.height(), 32);
    }

    void webImagesCarryNoSourceMetadata_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fast");
        for (const char* f : {"meta.jpg", "meta.tif", "meta.png", "meta.webp", "meta.heic"})
            for (const bool fast : {false, true})
                QTest::addRow("%s%s", f, fast ? ", fast" : "") << QString::fromLatin1(f) << fast;
    }

    void webImagesCarryNoSourceMetadata()
    {
        QFETCH(QString, name);
        QFETCH(bool, fast);
        // The fixture does carry it all.
        const QString before = QString::fromUtf8(photofixtures::run("exiftool", {"-a", "-s", "-G1", path(name)}));
        QVERIFY(before.contains("GPSLatitude") && before.contains("SN123456789") && before.contains("Ana P"));

        PreparedImages p = prepareImages(PrepareRequest{path(name), fast, true, 409, 145});
        QVERIFY2(p.decoded, qPrintable(p.problem));
        QTemporaryDir out;
        QVERIFY(saveBitmap(ImageFormat::Jpeg, p.large, out.filePath("large.jpg"), kJpegQualityNormal));
        QVERIFY(saveBitmap(ImageFormat::Jpeg, p.small, out.filePath("small.jpg"), kJpegQualityNormal));
        bool ok = false;
        const QByteArray json = photofixtures::run(
            "exiftool", {"-j", "-a", "-G1", "-u", out.filePath("large.jpg"), out.filePath("small.jpg")}, &ok);
        QVERIFY(ok);
        for (const QJsonValue& file : QJsonDocument::fromJson(json).array()) {
            for (const QString& key : file.toObject().keys()) {
                // Only what describes the JPEG file itself may be there.
                const QString group = key.section(':', 0, 0);
                QVERIFY2(QStringList({"SourceFile", "ExifTool", "System", "File", "JFIF", "Composite"}).contains(group),
                         qPrintable(key));
            }
        }
    }

    void fastReadTurnsAndConvertsLikeTheFullRead_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("profile");
        const QString adobe = QStringLiteral("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
        QTest::newRow("turned clockwise, Adobe RGB") << 6 << adobe;
        QTest::newRow("turned anticlockwise") << 8 << QString();
        QTest::newRow("half round, Adobe RGB") << 3 << adobe;
        QTest::newRow("transposed") << 5 << QString();
    }

    void fastReadTurnsAndConvertsLikeTheFullRead()
    {
        // A photo large enough for the reduced read, as a camera tags it.
        QFETCH(int, orientation);
        QFETCH(QString, profile);
        QTemporaryDir dir;
        const QString photo = dir.filePath("camera.jpg");
        bool ok = false;
        photofixtures::run("convert", {path("sat.png"), "-resize", "2048x1536!", "-quality", "92", photo}, &ok);
        QVERIFY(ok);
        QStringList tags{"-q", "-overwrite_original", QStringLiteral("-Orientation#=%1").arg(orientation)};
        if (!profile.isEmpty())
            tags << "-ICC_Profile<=" + profile;
        photofixtures::run("exiftool", tags << photo, &ok);
        QVERIFY(ok);
        const PreparedImages exact = prepareImages(PrepareRequest{photo, false, true, 409, 145});
        const PreparedImages fast = prepareImages(PrepareRequest{photo, true, true, 409, 145});
        QVERIFY(exact.decoded && fast.decoded);
        const bool sideways = orientation >= 5;
        QCOMPARE(fast.sourceWidth, sideways ? 1536 : 2048);
        QCOMPARE(fast.sourceHeight, sideways ? 2048 : 1536);
        QCOMPARE(fast.large.width(), 409);
        QCOMPARE(fast.large.height(), sideways ? 545 : 307);
        QCOMPARE(exact.large.height(), fast.large.height());
        QVERIFY(saveBitmap(ImageFormat::Png, exact.large, dir.filePath("exact.png"), 0));
        const photofixtures::Difference d = difference(fast.large, dir.filePath("exact.png"));
        QVERIFY2(d.sameSize && d.mean < 1.0, qPrintable(describe(d)));
    }

    void fastReadKeepsTheEdgesWhereTheFullReadHasThem_data()
    {
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("orientation %d", o) << o;
    }

    void fastReadKeepsTheEdgesWhereTheFullReadHasThem()
    {
        // Odd sides: the reduced read's stored right column and bottom row
        // are partly padding, and each turn puts them on other edges. A line
        // near each edge must land where the full read puts it.
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString photo = dir.filePath("lines.jpg");
        bool ok = false;
        photofixtures::run("convert",
                           {"-size", "2049x1537", "xc:white", "-fill", "black", "-draw",
                            "rectangle 30,0 37,1536 rectangle 2010,0 2017,1536 rectangle 0,25 2048,32 "
                            "rectangle 0,1500 2048,1507",
                            "-quality", "95", photo},
                           &ok);
        QVERIFY(ok);
        const QString tag = QStringLiteral("-Orientation#=%1").arg(orientation);
        photofixtures::run("exiftool", {"-q", "-overwrite_original", tag, photo}, &ok);
        QVERIFY(ok);
        const PreparedImages exact = prepareImages(PrepareRequest{photo, false, true, 409, 145});
        const PreparedImages fast = prepareImages(PrepareRequest{photo, true, true, 409, 145});
        QVERIFY(exact.decoded && fast.decoded);
        QVERIFY(saveBitmap(ImageFormat::Png, exact.large, dir.filePath("exact.png"), 0));
        QVERIFY(saveBitmap(ImageFormat::Png, fast.large, dir.filePath("fast.png"), 0));
        const fixtures::Picture e = fixtures::picture(dir.filePath("exact.png"));
        const fixtures::Picture f = fixtures::picture(dir.filePath("fast.png"));
        QCOMPARE(f.width, e.width);
        QCOMPARE(f.height, e.height);
        const int band = 20;
        const struct {
            bool rows;
            int from;
            int to;
        } edges[] = {
            {false, 0, band}, {false, e.width - band, e.width}, {true, 0, band}, {true, e.height - band, e.height}};
        for (const auto& edge : edges) {
            const double want = lineAt(e, edge.rows, edge.from, edge.to);
            const double got = lineAt(f, edge.rows, edge.from, edge.to);
            QVERIFY2(std::abs(got - want) < 0.08, qPrintable(QString("%1 %2..%3: %4 against %5")
                                                                 .arg(edge.rows ? "rows" : "columns")
                                                                 .arg(edge.from)
                                                                 .arg(edge.to)
                                                                 .arg(got)
                                                                 .arg(want)));
        }
    }
};

QTEST_GUILESS_MAIN(TestPhotoIntake)
#include "tst_photointake.moc"
