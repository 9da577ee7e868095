// The fast read of JPEGs: our decoder against libjpeg's at the same reduced
// scale.
//     fotolista_fastread compare PHOTO...   both, photo by photo: times and
//                                           how far apart the pictures are
//     fotolista_fastread ours PHOTO...      only ours, timed
//     fotolista_fastread libjpeg PHOTO...   only libjpeg's, timed
//     fotolista_fastread digest PHOTO...    ours at 1/8 to 4/8 with each set of
//                                           refinement instructions: a digest of
//                                           the pixels per photo, to compare
//                                           before and after a change that must
//                                           keep the bytes
// Each at the scale the fast mode picks for a 409-pixel copy. Photos ours
// leaves to libjpeg (read at 5/8 or more, CMYK, ...) are counted apart.
// Time the two alone, in separate runs: in one process each leaves the heap
// to the other; and give progressive and baseline photos in separate runs,
// as ours reads them in two ways.

#include "core/image/bitmapaccess.h"
#include "core/image/imageheader.h"
#include "core/image/jpegscale.h"
#include "core/image/photoheader.h"

#include <FreeImage.h>

#include <QCryptographicHash>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace fotolista;

namespace {

constexpr qint64 kPixels = 150'000'000;

double seconds(auto&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// PSNR over every byte of two pictures of one size and layout.
double psnr(const Bitmap& a, const Bitmap& b)
{
    FIBITMAP* x = dibOf(a);
    FIBITMAP* y = dibOf(b);
    const int bytes = int(FreeImage_GetBPP(x) / 8) * a.width();
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

/// The picture's sizes, depth and rows, hashed; "null" for none.
QByteArray digestOf(const Bitmap& picture)
{
    if (picture.isNull())
        return "null";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    FIBITMAP* dib = dibOf(picture);
    const int bytes = int(FreeImage_GetBPP(dib) / 8) * picture.width();
    hash.addData(QByteArray::number(picture.width()) + 'x' + QByteArray::number(picture.height()) + 'x'
                 + QByteArray::number(picture.bitsPerPixel()) + 'x'
                 + QByteArray::number(FreeImage_GetDotsPerMeterX(dib)));
    for (int row = 0; row < picture.height(); ++row)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(FreeImage_GetScanLine(dib, row)), bytes));
    return hash.result().toHex().left(16);
}

int digests(int argc, char** argv)
{
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<char> data{std::istreambuf_iterator<char>(in), {}};
        const std::span bytes(reinterpret_cast<const std::byte*>(data.data()), data.size());
        std::printf("%s", argv[i]);
        for (int eighths = 1; eighths <= 4; ++eighths) {
            for (const auto set : {RefineInstructions::Best, RefineInstructions::Counting, RefineInstructions::Plain})
                std::printf(" %s", digestOf(decodeJpegReducedByOurs(bytes, eighths, kPixels, set)).constData());
        }
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "digest")
        return digests(argc, argv);
    if (argc < 3 || (mode != "compare" && mode != "ours" && mode != "libjpeg")) {
        std::fprintf(stderr, "usage: fotolista_fastread compare|ours|libjpeg|digest PHOTO...\n");
        return 2;
    }
    double ours = 0, theirs = 0, worst = 99;
    int taken = 0, declined = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<char> data{std::istreambuf_iterator<char>(in), {}};
        const std::span bytes(reinterpret_cast<const std::byte*>(data.data()), data.size());
        const PhotoHeader header = readPhotoHeader(QString::fromLocal8Bit(argv[i]));
        const int eighths = jpegEighths(ImageSize{header.width, header.height}, 409);
        Bitmap a, b;
        double ourTime = 0, theirTime = 0;
        if (mode != "libjpeg") {
            ourTime = seconds([&] { a = decodeJpegReducedByOurs(bytes, eighths, kPixels); });
            if (a.isNull()) {
                ++declined;
                continue;
            }
            ours += ourTime;
        }
        if (mode != "ours") {
            theirTime = seconds([&] { b = decodeJpegReducedByLibjpeg(bytes, eighths, kPixels); });
            if (b.isNull()) {
                std::fprintf(stderr, "%s: libjpeg cannot read it\n", argv[i]);
                return 1;
            }
            theirs += theirTime;
        }
        ++taken;
        if (mode != "compare")
            continue;
        if (a.width() != b.width() || a.height() != b.height() || a.bitsPerPixel() != b.bitsPerPixel()) {
            std::fprintf(stderr, "%s: libjpeg gives another size\n", argv[i]);
            return 1;
        }
        const double db = psnr(a, b);
        worst = std::min(worst, db);
        std::printf("%s\t%d/8\tours %.1f ms\tlibjpeg %.1f ms\t%.2f dB apart\n", argv[i], eighths, ourTime * 1e3,
                    theirTime * 1e3, db);
    }
    std::printf("%d photos (%d not taken by ours): ours %.3f s, libjpeg %.3f s", taken, declined, ours, theirs);
    if (mode == "compare")
        std::printf(", libjpeg / ours %.2f, worst PSNR between them %.2f dB", theirs / ours, worst);
    std::printf("\n");
}
