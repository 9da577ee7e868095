#pragma once

#include <QString>
#include <QtGlobal>

namespace fotolista {

/// A 16-bit signed integer read from the user, or a failure. A failure is never
/// a 0: callers keep their previous value when `ok` is false.
struct ShortIntResult {
    bool ok = false;
    qint16 value = 0;

    explicit operator bool() const { return ok; }
};

/// Nearest integer, a half going to the even neighbour (2.5 → 2, 3.5 → 4, −2.5 → −2).
double roundHalfEven(double value);

/// Rounds `value` half-to-even into −32768..32767; NaN, infinities and values
/// outside the range fail.
ShortIntResult toShortInt(double value);

/// Reads `text` as a number in the user's locale (the default QLocale), blanks
/// around it allowed, then converts it like toShortInt(double). An empty text
/// or one that is not a number fails.
ShortIntResult toShortInt(const QString& text);

}  // namespace fotolista
