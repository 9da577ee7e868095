// Writes a deterministic corpus of photo-like product shots for the
// benchmark: JPEGs of mixed sizes and orientations (some progressive) and a
// few TIFFs, plus "lista.tsv" (source name without extension, destination
// name, extension) for the workbook and the reference program.
//
//   fotolista_corpusgen OUTPUT_FOLDER [COUNT]
#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

/// A small fixed-seed generator, so every machine writes the same corpus.
struct Random {
    std::uint64_t state;
    std::uint32_t next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return std::uint32_t(state >> 33);
    }
    double unit() { return next() / 2147483648.0; }
};

struct Size {
    int w, h;
};

const Size kSizes[] = {{1600, 1200}, {2048, 1536}, {2592, 1944}, {3264, 2448}, {4000, 3000},
                       {1200, 1600}, {1536, 2048}, {2448, 3264}, {3000, 4000}, {2000, 2000}};

/// A studio backdrop, a lit object with soft shadow, and sensor-like grain.
FIBITMAP* makePhoto(int w, int h, Random& rnd)
{
    FIBITMAP* dib = FreeImage_Allocate(w, h, 24);
    if (!dib)
        return nullptr;
    const double hue = rnd.unit();
    const double bgR = 200 + 40 * rnd.unit(), bgG = 190 + 40 * rnd.unit(), bgB = 180 + 40 * rnd.unit();
    const double objR = 255 * (0.5 + 0.5 * std::sin(6.28 * hue));
    const double objG = 255 * (0.5 + 0.5 * std::sin(6.28 * hue + 2.1));
    const double objB = 255 * (0.5 + 0.5 * std::sin(6.28 * hue + 4.2));
    const double cx = w * (0.4 + 0.2 * rnd.unit()), cy = h * (0.45 + 0.1 * rnd.unit());
    const double rx = w * (0.18 + 0.12 * rnd.unit()), ry = h * (0.2 + 0.15 * rnd.unit());
    const double stripes = 8 + 30 * rnd.unit();
    for (int y = 0; y < h; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, h - 1 - y);
        const double fy = double(y) / h;
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w;
            const double vignette = 1.0 - 0.35 * ((fx - 0.5) * (fx - 0.5) + (fy - 0.4) * (fy - 0.4));
            double r = bgR * vignette, g = bgG * vignette, b = bgB * vignette;
            const double dx = (x - cx) / rx, dy = (y - cy) / ry;
            const double d = dx * dx + dy * dy;
            const double shadow = (x - cx - 0.15 * rx) / rx, shy = (y - cy - 1.05 * ry) / (0.25 * ry);
            const double sd = shadow * shadow + shy * shy;
            if (sd < 1.0) {
                const double k = 0.55 + 0.45 * sd;
                r *= k, g *= k, b *= k;
            }
            if (d < 1.0) {
                const double light = 0.55 + 0.45 * (1.0 - d) - 0.25 * dx;
                const double pattern = 0.9 + 0.1 * std::sin(stripes * (dx + 0.3 * dy));
                r = objR * light * pattern, g = objG * light * pattern, b = objB * light * pattern;
            }
            const double grain = (int(rnd.next() & 15) - 8) * 1.2;
            line[FI_RGBA_RED] = BYTE(std::clamp(r + grain, 0.0, 255.0));
            line[FI_RGBA_GREEN] = BYTE(std::clamp(g + grain, 0.0, 255.0));
            line[FI_RGBA_BLUE] = BYTE(std::clamp(b + grain, 0.0, 255.0));
            line += 3;
        }
    }
    return dib;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s CARPETA [CANTIDAD]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 200;
    Random rnd{20261207};
    FILE* list = std::fopen((out + "/lista.tsv").c_str(), "w");
    if (!list)
        return 1;
    for (int i = 0; i < count; ++i) {
        const Size s = kSizes[rnd.next() % (sizeof kSizes / sizeof kSizes[0])];
        FIBITMAP* photo = makePhoto(s.w, s.h, rnd);
        if (!photo)
            return 1;
        char name[32];
        std::snprintf(name, sizeof name, "%05d", 10000 + i);
        const bool tiff = i % 25 == 24;
        const bool progressive = !tiff && i % 5 == 1;
        const std::string ext = tiff ? ".tif" : ".jpg";
        const std::string path = out + "/" + name + ext;
        const int flags = tiff ? TIFF_LZW : (90 | (progressive ? JPEG_PROGRESSIVE : 0));
        if (!FreeImage_Save(tiff ? FIF_TIFF : FIF_JPEG, photo, path.c_str(), flags))
            return 1;
        FreeImage_Unload(photo);
        char code[16];
        std::snprintf(code, sizeof code, "B%04d-%c", i, 'A' + i % 26);
        std::fprintf(list, "%s\t%s\t%s\n", name, code, ext.c_str());
    }
    std::fclose(list);
    return 0;
}
