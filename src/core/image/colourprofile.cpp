#include "core/image/colourprofile.h"

#include <lcms2.h>

#include <array>
#include <cstdlib>

namespace fotolista {

namespace {

/// A Little CMS profile, closed when it goes out of scope.
struct Profile {
    cmsHPROFILE handle = nullptr;
    explicit Profile(cmsHPROFILE h) : handle(h) {}
    ~Profile()
    {
        if (handle)
            cmsCloseProfile(handle);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;
    explicit operator bool() const { return handle != nullptr; }
};

Profile openProfile(const QByteArray& bytes)
{
    if (bytes.size() < 132)  // header and tag count
        return Profile(nullptr);
    return Profile(cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size())));
}

cmsToneCurve* srgbCurve()
{
    // IEC 61966-2-1: linear below 0.04045, a 2.4 power above.
    const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, params);
}

/// Grey with sRGB's tone curve: where grey pictures with a profile go.
cmsHPROFILE srgbGreyProfile()
{
    cmsToneCurve* curve = srgbCurve();
    if (!curve)
        return nullptr;
    cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return p;
}

cmsUInt32Number lcmsType(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Grey8: return TYPE_GRAY_8;
    case PixelLayout::Bgr8: return TYPE_BGR_8;
    case PixelLayout::Bgra8: return TYPE_BGRA_8;
    case PixelLayout::Cmyk8: return TYPE_CMYK_8;
    case PixelLayout::Cmyk8Inverted: return TYPE_CMYK_8_REV;
    }
    return 0;
}

cmsColorSpaceSignature spaceOf(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Grey8: return cmsSigGrayData;
    case PixelLayout::Bgr8:
    case PixelLayout::Bgra8: return cmsSigRgbData;
    case PixelLayout::Cmyk8:
    case PixelLayout::Cmyk8Inverted: return cmsSigCmykData;
    }
    return cmsSigRgbData;
}

PixelLayout targetOf(PixelLayout from)
{
    return from == PixelLayout::Grey8   ? PixelLayout::Grey8
           : from == PixelLayout::Bgra8 ? PixelLayout::Bgra8
                                        : PixelLayout::Bgr8;
}

int bytesPerPixel(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Grey8: return 1;
    case PixelLayout::Bgr8: return 3;
    case PixelLayout::Bgra8:
    case PixelLayout::Cmyk8:
    case PixelLayout::Cmyk8Inverted: return 4;
    }
    return 4;
}

void silent(cmsContext, cmsUInt32Number, const char*) {}

/// A damaged profile is simply not used: Little CMS need not say why.
void silenceOnce()
{
    static const bool silenced = [] {
        cmsSetLogErrorHandler(silent);
        return true;
    }();
    (void)silenced;
}

}  // namespace

struct SrgbConversion::Impl {
    PixelLayout from = PixelLayout::Bgr8;
    PixelLayout to = PixelLayout::Bgr8;
    cmsHTRANSFORM transform = nullptr;  ///< null: the plain ink formula, or the grey table
    bool greyTable = false;
    std::array<uchar, 256> grey{};

    ~Impl()
    {
        if (transform)
            cmsDeleteTransform(transform);
    }
};

SrgbConversion::SrgbConversion(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
SrgbConversion::~SrgbConversion() = default;
SrgbConversion::SrgbConversion(SrgbConversion&&) noexcept = default;
SrgbConversion& SrgbConversion::operator=(SrgbConversion&&) noexcept = default;

PixelLayout SrgbConversion::from() const
{
    return m_impl ? m_impl->from : PixelLayout::Bgr8;
}
PixelLayout SrgbConversion::to() const
{
    return m_impl ? m_impl->to : PixelLayout::Bgr8;
}

SrgbConversion SrgbConversion::forProfile(const QByteArray& bytes, PixelLayout from)
{
    silenceOnce();
    const Profile source = openProfile(bytes);
    if (!source || cmsGetColorSpace(source.handle) != spaceOf(from))
        return SrgbConversion(nullptr);
    // Device profiles only: an abstract or link profile describes no picture.
    const cmsProfileClassSignature cls = cmsGetDeviceClass(source.handle);
    if (cls != cmsSigInputClass && cls != cmsSigDisplayClass && cls != cmsSigOutputClass
        && cls != cmsSigColorSpaceClass)
        return SrgbConversion(nullptr);
    if (from != PixelLayout::Grey8 && spaceOf(from) == cmsSigRgbData && profileIsSrgb(bytes))
        return SrgbConversion(nullptr);

    auto impl = std::make_unique<Impl>();
    impl->from = from;
    impl->to = targetOf(from);
    const Profile target(from == PixelLayout::Grey8 ? srgbGreyProfile() : cmsCreate_sRGBProfile());
    if (!target)
        return SrgbConversion(nullptr);
    cmsHTRANSFORM t =
        cmsCreateTransform(source.handle, lcmsType(from), target.handle, lcmsType(impl->to), INTENT_PERCEPTUAL, 0);
    if (!t)
        return SrgbConversion(nullptr);
    if (from == PixelLayout::Grey8) {
        // 256 values: a table is exact and quicker than the transform.
        std::array<uchar, 256> in{};
        for (int i = 0; i < 256; ++i)
            in[size_t(i)] = uchar(i);
        cmsDoTransform(t, in.data(), impl->grey.data(), 256);
        cmsDeleteTransform(t);
        impl->greyTable = true;
        bool identity = true;
        for (int i = 0; i < 256; ++i)
            identity = identity && impl->grey[size_t(i)] == i;
        if (identity)
            return SrgbConversion(nullptr);
    } else {
        impl->transform = t;
    }
    return SrgbConversion(std::move(impl));
}

SrgbConversion SrgbConversion::plainCmyk(PixelLayout from)
{
    if (from != PixelLayout::Cmyk8 && from != PixelLayout::Cmyk8Inverted)
        return SrgbConversion(nullptr);
    auto impl = std::make_unique<Impl>();
    impl->from = from;
    impl->to = PixelLayout::Bgr8;
    return SrgbConversion(std::move(impl));
}

void SrgbConversion::convert(const void* in, void* out, std::size_t count) const
{
    if (!m_impl || count == 0)
        return;
    const Impl& c = *m_impl;
    if (c.transform) {
        cmsDoTransform(c.transform, in, out, cmsUInt32Number(count));
        return;
    }
    const uchar* src = static_cast<const uchar*>(in);
    uchar* dst = static_cast<uchar*>(out);
    if (c.greyTable) {
        for (std::size_t i = 0; i < count; ++i)
            dst[i] = c.grey[src[i]];
        return;
    }
    // Plain inks, walking forwards: the output never outruns the input.
    const bool inverted = c.from == PixelLayout::Cmyk8Inverted;
    const int step = bytesPerPixel(c.from);
    for (std::size_t i = 0; i < count; ++i, src += step, dst += 3) {
        const auto light = [&](int ink) { return inverted ? src[ink] : 255 - src[ink]; };
        const int k = light(3);
        const uchar r = uchar((light(0) * k + 127) / 255);
        const uchar g = uchar((light(1) * k + 127) / 255);
        const uchar b = uchar((light(2) * k + 127) / 255);
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
    }
}

bool profileIsSrgb(const QByteArray& bytes)
{
    silenceOnce();
    const Profile source = openProfile(bytes);
    if (!source || cmsGetColorSpace(source.handle) != cmsSigRgbData)
        return false;
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb)
        return false;
    // Colorimetric: a profile's perceptual tables may move colours on purpose;
    // what matters is which colours its numbers stand for.
    cmsHTRANSFORM t = cmsCreateTransform(source.handle, TYPE_RGB_8, srgb.handle, TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (!t)
        return false;
    constexpr int kSteps = 18;  // 0, 15, ..., 255
    std::array<uchar, kSteps * kSteps * kSteps * 3> in{};
    std::array<uchar, in.size()> out{};
    size_t i = 0;
    for (int r = 0; r < kSteps; ++r)
        for (int g = 0; g < kSteps; ++g)
            for (int b = 0; b < kSteps; ++b) {
                in[i++] = uchar(r * 15);
                in[i++] = uchar(g * 15);
                in[i++] = uchar(b * 15);
            }
    cmsDoTransform(t, in.data(), out.data(), kSteps * kSteps * kSteps);
    cmsDeleteTransform(t);
    for (size_t k = 0; k < in.size(); ++k)
        if (std::abs(int(in[k]) - int(out[k])) > 1)
            return false;
    return true;
}

QByteArray rgbProfileFromPrimaries(const double primaries[6], const double white[2], double gamma)
{
    silenceOnce();
    const cmsCIExyY whitePoint{white[0], white[1], 1.0};
    const cmsCIExyYTRIPLE xyY{
        {primaries[0], primaries[1], 1.0}, {primaries[2], primaries[3], 1.0}, {primaries[4], primaries[5], 1.0}};
    cmsToneCurve* curve = gamma > 0 ? cmsBuildGamma(nullptr, gamma) : srgbCurve();
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Profile p(cmsCreateRGBProfile(&whitePoint, &xyY, curves));
    cmsFreeToneCurve(curve);
    if (!p)
        return {};
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(p.handle, nullptr, &size) || size == 0)
        return {};
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(p.handle, bytes.data(), &size))
        return {};
    return bytes;
}

}  // namespace fotolista
