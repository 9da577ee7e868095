// The plain image-library calls of one batch, in one thread, with nothing
// around them: the yardstick the benchmark compares fotolista-batch with.
//
//   fotolista_reference LISTA.tsv FUENTE DESTINO MARCAS [simple]
//
// LISTA.tsv holds "source<TAB>destination<TAB>.ext" lines. Each copy is
// written with optimised tables, baseline or progressive (the program's own
// scans), whichever is smaller, as the program does by default; "simple"
// writes plain JPEGs, as the program's --no-optimize.
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <jpeglib.h>

namespace {

bool plain = false;

// The progressive layout the program writes: bands of frequencies, no
// successive approximation, optimised tables; straight through libjpeg.
std::vector<unsigned char> progressiveJpeg(FIBITMAP* copy)
{
    static const jpeg_scan_info scans[] = {{3, {0, 1, 2, 0}, 0, 0, 0, 0},
                                           {1, {0, 0, 0, 0}, 1, 5, 0, 0},
                                           {1, {1, 0, 0, 0}, 1, 63, 0, 0},
                                           {1, {2, 0, 0, 0}, 1, 63, 0, 0},
                                           {1, {0, 0, 0, 0}, 6, 63, 0, 0}};
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = FreeImage_GetWidth(copy);
    c.image_height = FreeImage_GetHeight(copy);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    c.scan_info = scans;
    c.num_scans = 5;
    c.optimize_coding = TRUE;
    c.X_density = UINT16(0.5 + 0.0254 * FreeImage_GetDotsPerMeterX(copy));
    c.Y_density = UINT16(0.5 + 0.0254 * FreeImage_GetDotsPerMeterY(copy));
    c.density_unit = 1;
    jpeg_set_quality(&c, 50, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(size_t(c.image_width) * 3);
    while (c.next_scanline < c.image_height) {
        const BYTE* p = FreeImage_GetScanLine(copy, int(c.image_height - c.next_scanline - 1));
        for (unsigned x = 0; x < c.image_width; ++x, p += 3) {
            row[3 * x] = p[FI_RGBA_RED];
            row[3 * x + 1] = p[FI_RGBA_GREEN];
            row[3 * x + 2] = p[FI_RGBA_BLUE];
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<unsigned char> bytes(data, data + size);
    std::free(data);
    return bytes;
}

void saveJpeg(FIBITMAP* copy, const std::string& path)
{
    if (plain) {
        FreeImage_Save(FIF_JPEG, copy, path.c_str(), JPEG_QUALITYNORMAL);
        return;
    }
    FIMEMORY* m = FreeImage_OpenMemory();
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_SaveToMemory(FIF_JPEG, copy, m, JPEG_QUALITYNORMAL | JPEG_OPTIMIZE);
    FreeImage_AcquireMemory(m, &data, &size);
    const std::vector<unsigned char> progressive = progressiveJpeg(copy);
    std::ofstream out(path, std::ios::binary);
    if (progressive.size() < size)
        out.write(reinterpret_cast<const char*>(progressive.data()), std::streamsize(progressive.size()));
    else
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    FreeImage_CloseMemory(m);
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
