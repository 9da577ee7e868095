#include "core/image/jpegreduce.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

namespace {

// The coefficients of the whole picture are held at once (two bytes each,
// one and a half per pixel with the usual chroma); above this the caller's
// strip-by-strip read is used instead.
constexpr double kMaxPixels = 50e6;

// Mean shortfall of the fast transform's truncation on a block whose pixels
// vary: the dropped fraction is about evenly spread over its 32 steps.
constexpr double kTruncationBias = 31.0 / 64.0;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool truncated;
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    // A file that ends early is read with grey in place of what is missing.
    if (cinfo->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<ErrorManager*>(cinfo->err)->truncated = true;
    cinfo->err->num_warnings++;
}

/// Weights giving, from the 8 coefficients of one direction, the mean of
/// each run of `group` neighbouring samples of the block.
struct GroupWeights {
    int group = 8;
    std::array<std::array<double, 8>, 8> w{};
};

GroupWeights groupWeights(int group)
{
    GroupWeights g;
    g.group = group;
    const double pi = std::acos(-1.0);
    for (int r = 0; r < 8 / group; ++r)
        for (int k = 0; k < 8; ++k) {
            double sum = 0;
            for (int n = r * group; n < (r + 1) * group; ++n)
                sum += std::cos((2 * n + 1) * k * pi / 16);
            const double ck = k == 0 ? std::sqrt(0.5) : 1.0;
            g.w[r][k] = 0.5 * ck * sum / group;
        }
    return g;
}

/// Means of one component, one value per output pixel.
struct Plane {
    int width = 0;
    int height = 0;
    float* values = nullptr;
    float at(int x, int y) const { return values[size_t(y) * width + x]; }
};

/// Means of the groups of one block: `rows` marks the rows of frequencies
/// holding anything; the sizes are constants so the sums stay in registers.
template <int PX, int PY>
void reduceBlock(const JCOEF* c, const float* step, const float (*wx)[8], const float (*wy)[8], unsigned rows,
                 float (*out)[8])
{
    float acc[PY][PX];
    for (auto& line : acc)
        std::fill(line, line + PX, float(CENTERJSAMPLE - kTruncationBias));
    for (int v = 0; v < 8; ++v) {
        if (!(rows & (1u << v)))
            continue;
        float across[PX] = {};
        for (int u = 0; u < 8; ++u) {
            const float f = float(c[v * 8 + u]) * step[v * 8 + u];
            for (int g = 0; g < PX; ++g)
                across[g] += f * wx[u][g];
        }
        for (int r = 0; r < PY; ++r)
            for (int g = 0; g < PX; ++g)
                acc[r][g] += wy[r][v] * across[g];
    }
    for (int r = 0; r < PY; ++r)
        for (int g = 0; g < PX; ++g)
            out[r][g] = acc[r][g];
}

using BlockReducer = void (*)(const JCOEF*, const float*, const float (*)[8], const float (*)[8], unsigned, float (*)[8]);

template <int PX>
BlockReducer reducerDown(int perBlockY)
{
    switch (perBlockY) {
    case 1: return reduceBlock<PX, 1>;
    case 2: return reduceBlock<PX, 2>;
    case 4: return reduceBlock<PX, 4>;
    default: return reduceBlock<PX, 8>;
    }
}

BlockReducer blockReducer(int perBlockX, int perBlockY)
{
    switch (perBlockX) {
    case 1: return reducerDown<1>(perBlockY);
    case 2: return reducerDown<2>(perBlockY);
    case 4: return reducerDown<4>(perBlockY);
    default: return reducerDown<8>(perBlockY);
    }
}

void reduceComponent(j_decompress_ptr cinfo, jvirt_barray_ptr coefficients, const jpeg_component_info& comp,
                     const GroupWeights& gx, const GroupWeights& gy, Plane& plane)
{
    const int perBlockX = 8 / gx.group;
    const int perBlockY = 8 / gy.group;
    float step[64];
    for (int i = 0; i < 64; ++i)
        step[i] = float(comp.quant_table->quantval[i]);
    float wx[8][8]; // [frequency across][output across]
    float wy[8][8]; // [output down][frequency down]
    for (int k = 0; k < 8; ++k)
        for (int g = 0; g < 8; ++g) {
            wx[k][g] = g < perBlockX ? float(gx.w[g][k]) : 0.0f;
            wy[g][k] = g < perBlockY ? float(gy.w[g][k]) : 0.0f;
        }
    // Rows of frequencies that add nothing to any output (they average
    // out over every group) are skipped.
    unsigned usedV = 0;
    for (int k = 0; k < 8; ++k)
        for (int g = 0; g < 8; ++g)
            if (std::abs(wy[g][k]) > 1e-6f)
                usedV |= 1u << k;
    const BlockReducer reduce = blockReducer(perBlockX, perBlockY);
    const int dcStep = comp.quant_table->quantval[0];
    const int blockCols = std::min<int>(comp.width_in_blocks, (plane.width + perBlockX - 1) / perBlockX);
    const int blockRows = std::min<int>(comp.height_in_blocks, (plane.height + perBlockY - 1) / perBlockY);
    float out[8][8];
    for (int by = 0; by < blockRows; ++by) {
        JBLOCKARRAY row = (*cinfo->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(cinfo), coefficients,
                                                             JDIMENSION(by), 1, FALSE);
        for (int bx = 0; bx < blockCols; ++bx) {
            const JCOEF* c = row[0][bx];
            // Which rows of frequencies hold anything: most are empty.
            std::uint64_t words[16];
            std::memcpy(words, c, sizeof words);
            unsigned rowsUsed = 0;
            for (int v = 0; v < 8; ++v)
                if (words[2 * v] | words[2 * v + 1])
                    rowsUsed |= 1u << v;
            const bool acZero = rowsUsed <= 1 && (words[0] >> 16 | words[1]) == 0;
            if (acZero) {
                // Every pixel of the block is the same truncated value.
                const long dc = long(c[0]) * dcStep;
                const float value = float(std::clamp((dc >> 3) + CENTERJSAMPLE, 0L, 255L));
                for (int r = 0; r < perBlockY; ++r)
                    std::fill(out[r], out[r] + perBlockX, value);
            } else {
                reduce(c, step, wx, wy, rowsUsed & usedV, out);
            }
            for (int r = 0; r < perBlockY; ++r) {
                const int y = by * perBlockY + r;
                if (y >= plane.height)
                    break;
                float* line = plane.values + size_t(y) * plane.width;
                for (int g = 0; g < perBlockX; ++g) {
                    const int x = bx * perBlockX + g;
                    if (x >= plane.width)
                        break;
                    line[x] = out[r][g];
                }
            }
        }
    }
}

BYTE toByte(float v) { return BYTE(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

FIBITMAP* toBitmap(const Plane* planes, int components)
{
    const int width = planes[0].width;
    const int height = planes[0].height;
    FIBITMAP* dib = FreeImage_Allocate(width, height, components == 1 ? 8 : 24);
    if (!dib)
        return nullptr;
    if (components == 1) {
        RGBQUAD* palette = FreeImage_GetPalette(dib);
        for (int i = 0; i < 256; ++i)
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
    }
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y); // bottom-up
        for (int x = 0; x < width; ++x) {
            const float luma = planes[0].at(x, y);
            if (components == 1) {
                line[x] = toByte(luma);
                continue;
            }
            const float cb = planes[1].at(x, y) - CENTERJSAMPLE;
            const float cr = planes[2].at(x, y) - CENTERJSAMPLE;
            line[x * 3 + FI_RGBA_RED] = toByte(luma + 1.40200f * cr);
            line[x * 3 + FI_RGBA_GREEN] = toByte(luma - 0.34414f * cb - 0.71414f * cr);
            line[x * 3 + FI_RGBA_BLUE] = toByte(luma + 1.77200f * cb);
        }
    }
    return dib;
}

bool layoutTaken(const jpeg_decompress_struct& cinfo, int denominator)
{
    if (cinfo.data_precision != 8)
        return false;
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE && cinfo.num_components == 1;
    const bool colour = cinfo.jpeg_color_space == JCS_YCbCr && cinfo.num_components == 3;
    if (!grey && !colour)
        return false;
    if (double(cinfo.image_width) * cinfo.image_height > kMaxPixels)
        return false;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        // Samples of this component under one output pixel, across and down.
        const int across = denominator * comp.h_samp_factor;
        const int down = denominator * comp.v_samp_factor;
        if (across % cinfo.max_h_samp_factor != 0 || down % cinfo.max_v_samp_factor != 0)
            return false;
        if (8 % (across / cinfo.max_h_samp_factor) != 0 || 8 % (down / cinfo.max_v_samp_factor) != 0)
            return false;
    }
    return true;
}

} // namespace

FIBITMAP* loadJpegReduced(const char* path, int denominator)
{
    if (!path || (denominator != 2 && denominator != 4 && denominator != 8))
        return nullptr;
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return nullptr;

    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.truncated = false;
    // Set after the jump point and read by its other branch: volatile.
    float* volatile values = nullptr;
    FIBITMAP* volatile dib = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        std::free(values);
        if (dib)
            FreeImage_Unload(dib);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (!layoutTaken(cinfo, denominator))
        onError(reinterpret_cast<j_common_ptr>(&cinfo));
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&cinfo);
    if (err.truncated || !coefficients)
        onError(reinterpret_cast<j_common_ptr>(&cinfo));
    // A component no scan ever brought has no quantisation table: the
    // decoder's own read makes it flat, so leave such a file to it.
    for (int c = 0; c < cinfo.num_components; ++c)
        if (!cinfo.comp_info[c].quant_table)
            onError(reinterpret_cast<j_common_ptr>(&cinfo));

    const int width = int((cinfo.image_width + denominator - 1) / denominator);
    const int height = int((cinfo.image_height + denominator - 1) / denominator);
    const int components = cinfo.num_components;
    values = static_cast<float*>(std::calloc(size_t(width) * height * components, sizeof(float)));
    if (!values)
        onError(reinterpret_cast<j_common_ptr>(&cinfo));
    Plane planes[3];
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        planes[c] = Plane{width, height, values + size_t(c) * width * height};
        const GroupWeights gx = groupWeights(denominator * comp.h_samp_factor / cinfo.max_h_samp_factor);
        const GroupWeights gy = groupWeights(denominator * comp.v_samp_factor / cinfo.max_v_samp_factor);
        reduceComponent(&cinfo, coefficients[c], comp, gx, gy, planes[c]);
    }
    dib = toBitmap(planes, components);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    std::free(values);
    return dib;
}
