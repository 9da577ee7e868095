#include "core/base/shortint.h"

#include <QLocale>

#include <cfenv>
#include <cmath>

namespace fotolista {

double roundHalfEven(double value)
{
    // nearbyint honours the current rounding mode; the default is to-nearest-even,
    // but a library may have changed it, so set it for the call.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    return rounded;
}

ShortIntResult toShortInt(double value)
{
    if (!std::isfinite(value))
        return {};
    const double rounded = roundHalfEven(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return {};
    return {true, static_cast<qint16>(rounded)};
}

ShortIntResult toShortInt(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    bool ok = false;
    const double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        return {};
    return toShortInt(value);
}

}  // namespace fotolista
