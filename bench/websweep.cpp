// The sweep the WebP and AVIF qualities were chosen from: each photo of a
// corpus made into the program's two copies (the exact mode's rescale, no
// watermark), written as the program writes its JPEGs at each quality item
// and as WebP and AVIF over a range of qualities, each decoded again and
// measured against the ideal downscale (ImageMagick's Lanczos of the full
// decode, made by bench/websweep.sh).
//
//   fotolista_websweep sweep CORPUS_NAME FOLDER [STEP]
//       one line per encoding: corpus, photo, width, format, quality, bytes,
//       PSNR against the ideal (dB), milliseconds to encode
//   fotolista_websweep speeds CORPUS_NAME FOLDER QUALITY
//       AVIF at QUALITY and each encoder speed from 4 to 9, the same columns
//       with the speed as the quality
//
// FOLDER holds the photos (*.jpg) and ideal-web/NAME-WIDTH.png.

#include "core/base/shortint.h"
#include "core/image/bitmap.h"
#include "core/image/bitmapaccess.h"
#include "core/image/photoheader.h"
#include "core/image/photointake.h"
#include "core/image/webformats.h"

#include <FreeImage.h>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

using namespace fotolista;

namespace {

constexpr qint64 kPixels = 150'000'000;
constexpr int kWidths[] = {409, 145};

struct JpegLevel {
    const char* name;
    int flags;
};
constexpr JpegLevel kLevels[] = {
    {"alta", kJpegQualitySuperb},
    {"media", kJpegQualityNormal},
    {"baja", kJpegQualityAverage},
    {"muybaja", kJpegQualityBad},
};

/// PSNR over the red, green and blue of two 24-bit pictures of one size.
double psnr(const Bitmap& a, const Bitmap& b)
{
    FIBITMAP* x = dibOf(a);
    FIBITMAP* y = dibOf(b);
    if (!x || !y || a.width() != b.width() || a.height() != b.height())
        return -1;
    const int bytes = 3 * a.width();
    double sum = 0;
    for (int row = 0; row < a.height(); ++row) {
        const BYTE* p = FreeImage_GetScanLine(x, row);
        const BYTE* q = FreeImage_GetScanLine(y, row);
        for (int i = 0; i < bytes; ++i)
            sum += double(p[i] - q[i]) * (p[i] - q[i]);
    }
    const double mse = sum / (double(bytes) * a.height());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

Bitmap decoded(const QByteArray& bytes)
{
    const std::span data(reinterpret_cast<const std::byte*>(bytes.constData()), size_t(bytes.size()));
    Bitmap b = decodePhoto(data, PhotoOptions{}, kPixels).bitmap;
    return b.bitsPerPixel() == 24 ? std::move(b) : b.convertedTo24Bits();
}

struct Copy {
    Bitmap pixels;
    Bitmap ideal;
};

void print(const char* corpus, const QString& photo, int width, const char* format, const std::string& quality,
           const QByteArray& bytes, const Copy& copy, double ms)
{
    std::printf("%s\t%s\t%d\t%s\t%s\t%lld\t%.3f\t%.1f\n", corpus, qPrintable(photo), width, format, quality.c_str(),
                static_cast<long long>(bytes.size()), bytes.isEmpty() ? -1.0 : psnr(decoded(bytes), copy.ideal), ms);
}

template <typename F>
QByteArray timed(double& ms, F&& encode)
{
    const auto start = std::chrono::steady_clock::now();
    QByteArray bytes = encode();
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 4 || (mode != "sweep" && mode != "speeds") || (mode == "speeds" && argc < 5)) {
        std::fprintf(stderr, "uso: fotolista_websweep sweep NOMBRE CARPETA [PASO] | speeds NOMBRE CARPETA CALIDAD\n");
        return 2;
    }
    initialiseImageLibrary();
    const char* corpus = argv[2];
    const QDir folder(QString::fromLocal8Bit(argv[3]));
    const int step = mode == "sweep" && argc > 4 ? std::atoi(argv[4]) : 5;
    const int speedQuality = mode == "speeds" ? std::atoi(argv[4]) : 0;
    for (const QString& name : folder.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
        const QString path = folder.filePath(name);
        const PhotoHeader header = readPhotoHeader(path);
        const Bitmap source = decodePhoto(path, header, PhotoOptions{}).bitmap;
        if (source.isNull())
            continue;
        const QString photo = QFileInfo(name).completeBaseName();
        for (const int width : kWidths) {
            const int height = toShortInt(double(source.height()) * width / source.width()).value;
            Copy copy{source.rescaled(width, height).convertedTo24Bits(),
                      Bitmap::load(ImageFormat::Png,
                                   folder.filePath(QStringLiteral("ideal-web/%1-%2.png").arg(photo).arg(width)))
                          .convertedTo24Bits()};
            if (copy.pixels.isNull() || copy.ideal.isNull()) {
                std::fprintf(stderr, "%s: sin copia o sin ideal de %d\n", qPrintable(path), width);
                continue;
            }
            double ms = 0;
            if (mode == "speeds") {
                for (int speed = 4; speed <= 9; ++speed) {
                    const QByteArray b =
                        timed(ms, [&] { return encodeWebFormat(WebFormat::Avif, copy.pixels, speedQuality, speed); });
                    print(corpus, photo, width, "avif", std::to_string(speed), b, copy, ms);
                }
                continue;
            }
            for (const JpegLevel& level : kLevels) {
                const QByteArray b = timed(ms, [&] { return smallestJpeg(copy.pixels, level.flags); });
                print(corpus, photo, width, "jpeg", level.name, b, copy, ms);
            }
            for (int q = step; q <= 100; q += step) {
                for (const WebFormat f : {WebFormat::Webp, WebFormat::Avif}) {
                    const QByteArray b = timed(ms, [&] { return encodeWebFormat(f, copy.pixels, q); });
                    print(corpus, photo, width, f == WebFormat::Webp ? "webp" : "avif", std::to_string(q), b, copy, ms);
                }
            }
        }
    }
    return 0;
}
