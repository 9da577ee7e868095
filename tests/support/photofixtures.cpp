#include "photofixtures.h"

#include "core/image/bitmap.h"

#include <QAtomicInt>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <FreeImage.h>
#include <jpeglib.h>
#include <lcms2.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace fotolista;

namespace photofixtures {

namespace {

/// A Display P3 profile, which no Debian package ships: P3 primaries, D65
/// white and sRGB's tone curve, as phones describe their photos.
bool writeDisplayP3(const QString& file)
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!p)
        return false;
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Display P3");
    cmsWriteTag(p, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    const bool ok = cmsSaveProfileToFile(p, QFile::encodeName(file).constData());
    cmsCloseProfile(p);
    return ok;
}

/// Inks (width × height × 4 bytes, 0 for no ink) written as a CMYK JPEG
/// without the Adobe mark, as some programs do; ImageMagick writes only
/// the Adobe kind, with the inks inverted.
bool writeCmykJpeg(const QString& rawCmyk, int width, int height, const QString& profile, const QString& jpeg)
{
    QFile raw(rawCmyk);
    if (!raw.open(QIODevice::ReadOnly))
        return false;
    QByteArray inks = raw.readAll();
    if (inks.size() != qsizetype(width) * height * 4)
        return false;
    QByteArray icc;
    if (!profile.isEmpty()) {
        QFile p(profile);
        if (!p.open(QIODevice::ReadOnly))
            return false;
        icc = p.readAll();
    }
    std::FILE* out = std::fopen(QFile::encodeName(jpeg).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, JCS_CMYK);
    c.write_Adobe_marker = FALSE;
    c.write_JFIF_header = FALSE;
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    if (!icc.isEmpty())
        jpeg_write_icc_profile(&c, reinterpret_cast<const JOCTET*>(icc.constData()), unsigned(icc.size()));
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(inks.data()) + size_t(c.next_scanline) * width * 4;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(out) == 0;
}

struct Made {
    std::unique_ptr<QTemporaryDir> dir;
    QString error;
};

Made make()
{
    Made m;
    m.dir = std::make_unique<QTemporaryDir>();
    if (!m.dir->isValid()) {
        m.error = QStringLiteral("no temporary folder");
        return m;
    }
    const QString p3 = m.dir->filePath(QStringLiteral("displayp3.icc"));
    if (!writeDisplayP3(p3)) {
        m.error = QStringLiteral("cannot write the P3 profile");
        return m;
    }
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("bash"),
                 {QStringLiteral(FOTOLISTA_TEST_DATA "/photos/make-photos.sh"), m.dir->path(), p3});
    if (!script.waitForFinished(240'000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
        m.error = QStringLiteral("make-photos.sh failed: ") + QString::fromLocal8Bit(script.readAll());
        return m;
    }
    const QString cmyk = QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc");
    if (!writeCmykJpeg(m.dir->filePath("cmyk_plain.cmyk"), 256, 192, {}, m.dir->filePath("cmyk_noadobe_plain.jpg"))
        || !writeCmykJpeg(m.dir->filePath("cmyk_profile.cmyk"), 256, 192, cmyk,
                          m.dir->filePath("cmyk_noadobe_profile.jpg")))
        m.error = QStringLiteral("cannot write the CMYK JPEGs");
    return m;
}

Made& made()
{
    static Made m = make();
    return m;
}

/// Every pixel as 24-bit colour, whatever the file holds (palette, grey, deep).
FIBITMAP* loadRgb(const QString& file)
{
    const QByteArray name = QFile::encodeName(file);
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(name.constData(), 0);
    if (fif == FIF_UNKNOWN)
        return nullptr;
    FIBITMAP* dib = FreeImage_Load(fif, name.constData(), 0);
    if (!dib)
        return nullptr;
    FIBITMAP* rgb = FreeImage_ConvertTo24Bits(dib);
    FreeImage_Unload(dib);
    return rgb;
}

}  // namespace

QString folder(QString* error)
{
    if (error)
        *error = made().error;
    return made().error.isEmpty() ? made().dir->path() : QString();
}

QString path(const QString& name)
{
    return folder() + QLatin1Char('/') + name;
}

Difference difference(const QString& a, const QString& b)
{
    Difference d;
    FIBITMAP* x = loadRgb(a);
    FIBITMAP* y = loadRgb(b);
    if (x && y && FreeImage_GetWidth(x) == FreeImage_GetWidth(y) && FreeImage_GetHeight(x) == FreeImage_GetHeight(y)) {
        d.sameSize = true;
        d.largest = 0;
        double sum = 0;
        const unsigned w = FreeImage_GetWidth(x);
        const unsigned h = FreeImage_GetHeight(x);
        for (unsigned row = 0; row < h; ++row) {
            const BYTE* p = FreeImage_GetScanLine(x, int(row));
            const BYTE* q = FreeImage_GetScanLine(y, int(row));
            for (unsigned i = 0; i < w * 3; ++i) {
                const int diff = std::abs(int(p[i]) - int(q[i]));
                d.largest = std::max(d.largest, diff);
                sum += diff;
            }
        }
        d.mean = sum / (3.0 * w * h);
    }
    FreeImage_Unload(x);
    FreeImage_Unload(y);
    return d;
}

Difference difference(const Bitmap& ours, const QString& referenceFile)
{
    static QAtomicInt counter;
    const QString file = path(QStringLiteral("ours-%1.png").arg(counter.fetchAndAddRelaxed(1)));
    if (!saveBitmap(ImageFormat::Png, ours, file, 0))
        return {};
    const Difference d = difference(file, referenceFile);
    QFile::remove(file);
    return d;
}

QString describe(const Difference& d)
{
    return QStringLiteral("same size %1, largest %2, mean %3").arg(d.sameSize).arg(d.largest).arg(d.mean, 0, 'f', 2);
}

QByteArray run(const QString& program, const QStringList& arguments, bool* ok)
{
    QProcess p;
    p.start(program, arguments);
    const bool done = p.waitForFinished(120'000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return done ? p.readAllStandardOutput() : QByteArray();
}

}  // namespace photofixtures
