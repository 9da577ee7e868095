// The plain image-library calls of one batch, in one thread, with nothing
// around them: the yardstick the benchmark compares fotolista-batch with.
//
//   fotolista_reference LISTA.tsv FUENTE DESTINO MARCAS [simple]
//
// LISTA.tsv holds "source<TAB>destination<TAB>.ext" lines. Each copy is
// written with optimised tables, baseline or progressive, whichever is
// smaller, as the program does by default; "simple" writes plain JPEGs, as
// the program's --no-optimize.
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

bool plain = false;

void saveJpeg(FIBITMAP* copy, const std::string& path)
{
    if (plain) {
        FreeImage_Save(FIF_JPEG, copy, path.c_str(), JPEG_QUALITYNORMAL);
        return;
    }
    FIMEMORY* best = nullptr;
    DWORD bestSize = 0;
    for (const int layout : {0, JPEG_PROGRESSIVE}) {
        FIMEMORY* m = FreeImage_OpenMemory();
        BYTE* data = nullptr;
        DWORD size = 0;
        FreeImage_SaveToMemory(FIF_JPEG, copy, m, JPEG_QUALITYNORMAL | JPEG_OPTIMIZE | layout);
        FreeImage_AcquireMemory(m, &data, &size);
        if (!best || size < bestSize) {
            if (best)
                FreeImage_CloseMemory(best);
            best = m;
            bestSize = size;
        } else {
            FreeImage_CloseMemory(m);
        }
    }
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(best, &data, &size);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    FreeImage_CloseMemory(best);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5 && !(argc == 6 && std::string(argv[5]) == "simple")) {
        std::fprintf(stderr, "uso: %s LISTA.tsv FUENTE DESTINO MARCAS [simple]\n", argv[0]);
        return 2;
    }
    plain = argc == 6;
    const std::string source = argv[2], destination = argv[3], marks = argv[4];
    std::ifstream list(argv[1]);
    std::string line;
    ::mkdir((destination + "/pequeñas").c_str(), 0777);
    int written = 0;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string name, code, ext;
        std::getline(fields, name, '\t');
        std::getline(fields, code, '\t');
        std::getline(fields, ext, '\t');
        if (ext != ".jpg")
            continue;
        FIBITMAP* src = FreeImage_Load(FIF_JPEG, (source + "/" + name + ext).c_str(), 0);
        if (!src)
            continue;
        const unsigned w = FreeImage_GetWidth(src), h = FreeImage_GetHeight(src);
        const double largeH = double(h) * 409 / w, smallH = double(h) * 145 / w;
        FIBITMAP* large = FreeImage_Rescale(src, 409, int(std::nearbyint(largeH)), FILTER_BICUBIC);
        FIBITMAP* small = FreeImage_Rescale(src, 145, int(std::nearbyint(smallH)), FILTER_BICUBIC);
        FreeImage_Unload(src);
        const int bandTop = int(std::floor(largeH)) - 24;
        FIBITMAP* band = FreeImage_Load(FIF_JPEG, (marks + "/agua.jpg").c_str(), 0);
        FreeImage_Paste(large, band, 1, bandTop, 256);
        FIBITMAP* mark = FreeImage_Load(FIF_PNG, (marks + "/marca.png").c_str(), 0);
        const double cx = FreeImage_GetWidth(large) / 2.0 - FreeImage_GetWidth(mark) / 2.0;
        const double cy = FreeImage_GetHeight(large) / 2.0 - FreeImage_GetHeight(mark) / 2.0;
        FreeImage_Paste(large, mark, int(std::nearbyint(cx)), int(std::nearbyint(cy)), 50);
        for (size_t k = 0; k < code.size(); ++k) {
            FIBITMAP* glyph = FreeImage_Load(FIF_JPEG, (marks + "/" + code[k] + ".jpg").c_str(), 0);
            FreeImage_Paste(large, glyph, int(319 + 10 * k), bandTop + 6, 256);
            if (glyph)
                FreeImage_Unload(glyph);
        }
        saveJpeg(large, destination + "/" + code + ".jpg");
        saveJpeg(small, destination + "/pequeñas/" + code + "_p.jpg");
        FreeImage_Unload(large);
        FreeImage_Unload(small);
        if (band)
            FreeImage_Unload(band);
        if (mark)
            FreeImage_Unload(mark);
        ++written;
    }
    std::printf("%d\n", written);
    return 0;
}
