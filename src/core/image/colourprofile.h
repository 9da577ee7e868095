#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

namespace fotolista {

/// How the pixels handed to a colour conversion are laid out in memory.
enum class PixelLayout {
    Grey8,  ///< one byte a pixel
    Bgr8,  ///< blue, green, red
    Bgra8,  ///< blue, green, red, alpha (alpha left as it is)
    Cmyk8,  ///< cyan, magenta, yellow, black; 0 is no ink
    Cmyk8Inverted,  ///< the same with 255 for no ink, as Adobe writes CMYK JPEGs
};

/// Converts pixels described by an embedded colour profile to sRGB (Grey8
/// to the grey of sRGB's tone curve, every other layout to Bgr8 or Bgra8)
/// with Little CMS, perceptual intent. One conversion serves one thread.
class SrgbConversion {
public:
    ~SrgbConversion();
    SrgbConversion(SrgbConversion&&) noexcept;
    SrgbConversion& operator=(SrgbConversion&&) noexcept;

    /// The conversion for `profile`; null when the profile is unreadable,
    /// does not fit the layout (an RGB profile on grey pixels), or already
    /// describes sRGB, so that such pixels stay exactly as they are.
    static SrgbConversion forProfile(const QByteArray& profile, PixelLayout from);
    /// Without a profile: inks to light by the plain formula (255 − C)(255 − K)
    /// / 255, as viewers do with an untagged CMYK picture. Only for CMYK layouts.
    static SrgbConversion plainCmyk(PixelLayout from);

    bool isNull() const { return !m_impl; }
    PixelLayout from() const;
    PixelLayout to() const;
    /// Converts `count` pixels; `in` and `out` may be the same memory when
    /// both layouts take the same room.
    void convert(const void* in, void* out, std::size_t count) const;

private:
    struct Impl;
    explicit SrgbConversion(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

/// Whether an ICC profile describes sRGB: its colours map to themselves,
/// within one level, on the way to sRGB.
bool profileIsSrgb(const QByteArray& profile);

/// An RGB profile (D65 white) from the chromaticities of its primaries and
/// a tone curve given as gamma (0 for the sRGB curve); for pictures that
/// describe their colours by numbers rather than by a profile.
QByteArray rgbProfileFromPrimaries(const double primaries[6], const double white[2], double gamma);

}  // namespace fotolista
