#include "core/image/bitmap.h"
#include "core/image/rescale.h"
#include "support/imagefixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <FreeImage.h>

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace fotolista;

namespace {

struct Unload {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Dib = std::unique_ptr<FIBITMAP, Unload>;

/// Pixel layouts that reach the rescale: 24-bit colour, and 8-bit images
/// whose palette the library reads four ways.
enum class Layout { Rgb, GreyUp, GreyDown, GreyShuffled, GreyHalfDown, Colours };

/// Noise, hard 0/255 edges (the clamping) and ramps, with a resolution and
/// a comment, which the library carries over to its result.
Dib makeSource(int width, int height, Layout layout, quint64 seed)
{
    const int bpp = layout == Layout::Rgb ? 24 : 8;
    Dib dib(FreeImage_Allocate(width, height, bpp));
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < width * bpp / 8; ++x) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            const int kind = (x / 7 + y / 5) % 3;
            line[x] = BYTE(kind == 0   ? int(seed >> 56)
                           : kind == 1 ? ((x / 3 + y / 2) & 1) * 255
                                       : (x * 3 + y * 5) & 255);
        }
    }
    if (bpp == 8) {
        RGBQUAD* pal = FreeImage_GetPalette(dib.get());
        for (int i = 0; i < 256; ++i) {
            const int grey = layout == Layout::GreyDown       ? 255 - i
                             : layout == Layout::GreyShuffled ? (i * 77 + 13) & 255
                             : layout == Layout::GreyHalfDown ? (i < 100 ? i : 255 - i)
                                                              : i;
            pal[i].rgbRed = BYTE(layout == Layout::Colours ? i * 5 : grey);
            pal[i].rgbGreen = BYTE(layout == Layout::Colours ? 255 - i : grey);
            pal[i].rgbBlue = BYTE(layout == Layout::Colours ? (i * i) >> 3 : grey);
        }
    }
    FreeImage_SetDotsPerMeterX(dib.get(), 3780 + unsigned(seed % 7));
    FreeImage_SetDotsPerMeterY(dib.get(), 2835);
    FITAG* tag = FreeImage_CreateTag();
    static const char text[] = "fotolista";
    FreeImage_SetTagKey(tag, "Comment");
    FreeImage_SetTagType(tag, FIDT_ASCII);
    FreeImage_SetTagCount(tag, sizeof text);
    FreeImage_SetTagLength(tag, sizeof text);
    FreeImage_SetTagValue(tag, text);
    FreeImage_SetMetadata(FIMD_COMMENTS, dib.get(), "Comment", tag);
    FreeImage_DeleteTag(tag);
    return dib;
}

/// Where two bitmaps differ in anything an encoder could see; empty when nowhere.
QByteArray difference(FIBITMAP* a, FIBITMAP* b)
{
    if (!a || !b)
        return "a null bitmap";
    if (FreeImage_GetWidth(a) != FreeImage_GetWidth(b) || FreeImage_GetHeight(a) != FreeImage_GetHeight(b))
        return "size";
    if (FreeImage_GetBPP(a) != FreeImage_GetBPP(b) || FreeImage_GetColorType(a) != FreeImage_GetColorType(b))
        return "depth or colour type";
    if (FreeImage_GetDotsPerMeterX(a) != FreeImage_GetDotsPerMeterX(b)
        || FreeImage_GetDotsPerMeterY(a) != FreeImage_GetDotsPerMeterY(b))
        return "resolution";
    const unsigned colours = FreeImage_GetColorsUsed(a);
    if (colours != FreeImage_GetColorsUsed(b)
        || (colours && std::memcmp(FreeImage_GetPalette(a), FreeImage_GetPalette(b), colours * sizeof(RGBQUAD))))
        return "palette";
    if (FreeImage_GetMetadataCount(FIMD_COMMENTS, a) != FreeImage_GetMetadataCount(FIMD_COMMENTS, b))
        return "metadata";
    for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y) {
        const BYTE* pa = FreeImage_GetScanLine(a, int(y));
        const BYTE* pb = FreeImage_GetScanLine(b, int(y));
        for (unsigned i = 0; i < FreeImage_GetLine(a); ++i)
            if (pa[i] != pb[i])
                return "row " + QByteArray::number(y) + " byte " + QByteArray::number(i) + ": "
                       + QByteArray::number(pa[i]) + " instead of " + QByteArray::number(pb[i]);
    }
    return {};
}

QByteArray encoded(FIBITMAP* dib)
{
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_JPEG, dib, memory, JPEG_QUALITYNORMAL);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FreeImage_CloseMemory(memory);
    return bytes;
}

/// Our rescale at every level this processor has, against the library's.
void compareWithLibrary(FIBITMAP* src, int width, int height, bool alsoEncoded)
{
    const Dib reference(FreeImage_Rescale(src, width, height, FILTER_BICUBIC));
    for (const SimdLevel level : {SimdLevel::Plain, SimdLevel::Sse2, SimdLevel::Avx2}) {
        if (!simdLevelAvailable(level))
            continue;
        const Dib ours(rescaleLikeLibrary(src, width, height, level));
        const QByteArray where =
            "level " + QByteArray::number(int(level)) + ": " + difference(ours.get(), reference.get());
        QVERIFY2(difference(ours.get(), reference.get()).isEmpty(), where.constData());
        if (alsoEncoded)
            QVERIFY(encoded(ours.get()) == encoded(reference.get()));
    }
}

}  // namespace

class TestRescale : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void sameBytesAsTheLibrary_data()
    {
        QTest::addColumn<int>("sw");
        QTest::addColumn<int>("sh");
        QTest::addColumn<int>("dw");
        QTest::addColumn<int>("dh");
        QTest::addColumn<int>("layout");
        const struct {
            const char* name;
            int sw, sh, dw, dh;
        } sizes[] = {
            {"large copy of a camera photo", 4000, 3000, 409, 307},
            {"small copy", 4000, 3000, 145, 109},
            {"portrait", 1536, 2048, 409, 545},
            {"odd sides", 1203, 907, 411, 305},
            {"width kept", 409, 307, 409, 200},
            {"height kept", 409, 307, 200, 307},
            {"enlarged", 100, 80, 409, 327},
            {"enlarged across only", 333, 3, 1000, 3},
            {"enlarged down only", 3, 333, 3, 1000},
            {"one pixel", 1, 1, 409, 1},
            {"one column", 1, 2001, 1, 145},
            {"one row", 2001, 1, 145, 1},
            {"to one pixel", 999, 777, 1, 1},
            {"huge ratio across", 9000, 5, 17, 3},
            {"huge ratio down", 5, 9000, 3, 17},
            {"nearly the same", 257, 255, 256, 254},
        };
        const struct {
            const char* name;
            Layout layout;
        } layouts[] = {{"24-bit", Layout::Rgb},
                       {"grey", Layout::GreyUp},
                       {"inverted grey", Layout::GreyDown},
                       {"shuffled grey", Layout::GreyShuffled},
                       {"half-inverted grey", Layout::GreyHalfDown},
                       {"palette", Layout::Colours}};
        for (const auto& s : sizes)
            for (const auto& l : layouts) {
                // The largest sizes once each, for time.
                if (s.sw * s.sh > 3'000'000 && l.layout != Layout::Rgb && l.layout != Layout::Colours)
                    continue;
                QTest::addRow("%s, %s", s.name, l.name) << s.sw << s.sh << s.dw << s.dh << int(l.layout);
            }
    }

    void sameBytesAsTheLibrary()
    {
        QFETCH(int, sw);
        QFETCH(int, sh);
        QFETCH(int, dw);
        QFETCH(int, dh);
        QFETCH(int, layout);
        const Dib src = makeSource(sw, sh, Layout(layout), quint64(sw * 31 + dh));
        compareWithLibrary(src.get(), dw, dh, false);
    }

    void samePhotoBytesAsTheLibrary_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("grey");
        QTest::newRow("4:2:0") << (90 | JPEG_SUBSAMPLING_420) << false;
        QTest::newRow("4:2:2") << (85 | JPEG_SUBSAMPLING_422) << false;
        QTest::newRow("progressive") << (75 | JPEG_PROGRESSIVE) << false;
        QTest::newRow("greyscale") << 90 << true;
    }

    void samePhotoBytesAsTheLibrary()
    {
        QFETCH(int, flags);
        QFETCH(bool, grey);
        // A decoded JPEG has the statistics of a photo, not of noise.
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(fixtures::writePhotoJpeg(path, 1603, 1201, flags, grey));
        const Dib src(FreeImage_Load(FIF_JPEG, QFile::encodeName(path).constData(), 0));
        compareWithLibrary(src.get(), 409, 306, true);
        compareWithLibrary(src.get(), 145, 109, true);
    }

    void otherKernelsAreTheLibrarysFilters_data()
    {
        QTest::addColumn<int>("kernel");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("bpp");
        QTest::newRow("Catmull-Rom") << int(ResampleKernel::CatmullRom) << int(FILTER_CATMULLROM) << 24;
        QTest::newRow("Lanczos 3") << int(ResampleKernel::Lanczos3) << int(FILTER_LANCZOS3) << 24;
        QTest::newRow("Catmull-Rom, grey") << int(ResampleKernel::CatmullRom) << int(FILTER_CATMULLROM) << 8;
    }

    void otherKernelsAreTheLibrarysFilters()
    {
        QFETCH(int, kernel);
        QFETCH(int, filter);
        QFETCH(int, bpp);
        const Dib src = makeSource(1000, 750, bpp == 24 ? Layout::Rgb : Layout::GreyUp, 5);
        for (const auto& [w, h] : {std::pair{409, 307}, std::pair{145, 109}, std::pair{1500, 20}}) {
            const Dib reference(FreeImage_Rescale(src.get(), w, h, FREE_IMAGE_FILTER(filter)));
            const Dib ours(resampleBitmap(src.get(), w, h, ResampleKernel(kernel), bestSimdLevel()));
            QCOMPARE(difference(ours.get(), reference.get()), QByteArray());
        }
    }

    void singleSumsStayWithinALevel_data()
    {
        QTest::addColumn<int>("sw");
        QTest::addColumn<int>("sh");
        QTest::addColumn<int>("dw");
        QTest::addColumn<int>("dh");
        QTest::newRow("reduced read to the large copy") << 1635 << 1227 << 409 << 307;
        QTest::newRow("odd sides") << 1003 << 751 << 409 << 307;
        QTest::newRow("large copy to the small one") << 409 << 307 << 145 << 109;
        QTest::newRow("fewer than eight rows") << 64 << 7 << 31 << 3;
        QTest::newRow("huge ratio across") << 5000 << 9 << 17 << 3;
        QTest::newRow("enlarged") << 100 << 80 << 409 << 327;
    }

    void singleSumsStayWithinALevel()
    {
        QFETCH(int, sw);
        QFETCH(int, sh);
        QFETCH(int, dw);
        QFETCH(int, dh);
        const Dib src = makeSource(sw, sh, Layout::Rgb, quint64(sw + dh));
        const Dib exact(resampleBitmap(src.get(), dw, dh, ResampleKernel::CatmullRom, bestSimdLevel()));
        const Dib single(
            resampleBitmap(src.get(), dw, dh, ResampleKernel::CatmullRom, bestSimdLevel(), {}, Precision::Single));
        QVERIFY(exact && single);
        int differing = 0;
        for (int y = 0; y < dh; ++y) {
            const BYTE* a = FreeImage_GetScanLine(exact.get(), y);
            const BYTE* b = FreeImage_GetScanLine(single.get(), y);
            for (int i = 0; i < dw * 3; ++i) {
                QVERIFY2(std::abs(a[i] - b[i]) <= 1, qPrintable(QStringLiteral("row %1 byte %2").arg(y).arg(i)));
                differing += a[i] != b[i];
            }
        }
        // A sum lands on the other side of a half only by a hair's breadth.
        QVERIFY2(differing * 1000 <= dw * dh * 3, qPrintable(QString::number(differing)));
    }

    void leavesTheRestToTheLibrary_data()
    {
        QTest::addColumn<int>("bpp");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<int>("width");
        QTest::newRow("32-bit") << 32 << false << 409;
        QTest::newRow("16-bit") << 16 << false << 409;
        QTest::newRow("1-bit") << 1 << false << 409;
        QTest::newRow("transparent palette") << 8 << true << 409;
        QTest::newRow("the same size") << 24 << false << 640;
    }

    void leavesTheRestToTheLibrary()
    {
        QFETCH(int, bpp);
        QFETCH(bool, transparent);
        QFETCH(int, width);
        const Dib src(FreeImage_Allocate(640, 480, bpp));
        if (transparent) {
            BYTE table[4] = {0, 128, 255, 255};
            FreeImage_SetTransparencyTable(src.get(), table, 4);
        }
        QVERIFY(!rescaleLikeLibrary(src.get(), width, 480, bestSimdLevel()));
        const Dib resampled(resampleBitmap(src.get(), width, 480, ResampleKernel::CatmullRom, bestSimdLevel()));
        QCOMPARE(resampled != nullptr, bpp == 24);
    }

    void bitmapFallsBackToTheLibrary()
    {
        // A 32-bit source is the library's to rescale; Bitmap still makes the
        // library's copy of it.
        QTemporaryDir dir;
        const QString path = dir.filePath("a.png");
        QVERIFY(fixtures::writePng(path, 300, 200, 0x336699, true));
        const Bitmap copy = Bitmap::load(ImageFormat::Png, path).rescaled(150, 100);
        QVERIFY(saveBitmap(ImageFormat::Png, copy, dir.filePath("ours.png"), 0));
        const Dib src(FreeImage_Load(FIF_PNG, QFile::encodeName(path).constData(), 0));
        QCOMPARE(FreeImage_GetBPP(src.get()), 32u);
        const Dib reference(FreeImage_Rescale(src.get(), 150, 100, FILTER_BICUBIC));
        QVERIFY(
            FreeImage_Save(FIF_PNG, reference.get(), QFile::encodeName(dir.filePath("library.png")).constData(), 0));
        QCOMPARE(fixtures::readBytes(dir.filePath("ours.png")), fixtures::readBytes(dir.filePath("library.png")));
    }
};

QTEST_GUILESS_MAIN(TestRescale)
#include "tst_rescale.moc"
