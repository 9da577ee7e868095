// Peak memory of a batch whose rows ahead are huge photos: four rows of a
// 144-megapixel progressive 4:4:4 JPEG (just under the 150-megapixel limit),
// run by fotolista-batch with --jobs 4, exact and fast. The photo is made
// here, in FOLDER, and not kept in the repository.
//     fotolista_rowsmemory FOLDER PATH-OF-fotolista-batch
// Prints the peak resident memory of each run (the child's ru_maxrss).

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSide = 12000;  // 144 megapixels
constexpr int kRows = 4;

/// A picture with detail everywhere: gradients under a coarse noise, so the
/// progressive scans hold coefficients in every block, as a photo's do.
bool makePhoto(const std::string& path)
{
    FIBITMAP* dib = FreeImage_Allocate(kSide, kSide, 24);
    if (!dib)
        return false;
    for (int y = 0; y < kSide; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, y);
        uint32_t state = 2166136261u ^ uint32_t(y);
        for (int x = 0; x < kSide; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 27);
            line[3 * x] = BYTE((x / 47 + noise) & 0xFF);
            line[3 * x + 1] = BYTE((y / 31 + noise * 3) & 0xFF);
            line[3 * x + 2] = BYTE(((x + y) / 59 + (noise << 2)) & 0xFF);
        }
    }
    const bool ok =
        FreeImage_Save(FIF_JPEG, dib, path.c_str(), JPEG_PROGRESSIVE | JPEG_SUBSAMPLING_444 | JPEG_QUALITYGOOD) == TRUE;
    FreeImage_Unload(dib);
    return ok;
}

/// Runs the command and returns its peak resident memory in MB (-1 on failure).
double peakMegabytes(const std::vector<std::string>& args, int& status)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return -1;
    return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "uso: %s CARPETA fotolista-batch\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string source = folder + "/fuente";
    const std::string destination = folder + "/destino";
    ::mkdir(folder.c_str(), 0777);
    ::mkdir(source.c_str(), 0777);
    ::mkdir(destination.c_str(), 0777);
    const std::string photo = source + "/grande-1.jpg";
    struct stat st {};
    if (::stat(photo.c_str(), &st) != 0) {
        std::printf("Haciendo una foto de %d x %d ...\n", kSide, kSide);
        if (!makePhoto(photo))
            return 1;
    }
    // The other rows read the same bytes under names of their own.
    std::ofstream workbook(folder + "/lote.csv");
    workbook << ";;;;;\n;;;;;\n;;;;;\n;;;;;\n;;;;;\n";
    for (int row = 1; row <= kRows; ++row) {
        const std::string name = "grande-" + std::to_string(row);
        if (row > 1)
            ::link(photo.c_str(), (source + "/" + name + ".jpg").c_str());
        workbook << "copia-" << row << ";;;;;" << name << "\n;;;;;\n;;;;;\n;;;;;\n";
    }
    workbook.close();
    for (const char* mode : {"", "--fast"}) {
        std::vector<std::string> args{argv[2],   "run",   folder + "/lote.csv",   source, destination, "--jobs", "4",
                                      "--quiet", "--log", folder + "/errores.txt"};
        if (*mode)
            args.push_back(mode);
        int status = 0;
        const double peak = peakMegabytes(args, status);
        std::printf("%d filas de %d Mpx, --jobs 4%s%s: memoria residente máxima %.0f MB (salida %d)\n", kRows,
                    kSide * kSide / 1000000, *mode ? " " : "", mode, peak,
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return 0;
}
