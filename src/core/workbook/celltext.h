#pragma once

#include "core/workbook/numberformat.h"

#include <QLocale>
#include <QString>

/// How a boolean cell reads: "Verdadero" or "Falso", whatever the locale.
QString booleanText(bool value);

/// A number as the original platform turned it into text: at most 15
/// significant digits, no group separators, the locale's decimal separator;
/// integers plainly (12345, 12345678901, -7); an exponent only when the
/// 15-digit form needs one, i.e. from 1E+15 up and below 0.0001
/// ("1,23456789012346E+16", "1E-05" in Spanish).
QString plainNumberText(double value, const QLocale& locale);

/// A number shown with a date or time format, as a date value reads as text:
/// - the locale's short date ("23/3/64" in Spanish), followed by a blank and
///   the time of day when that is not midnight;
/// - the time of day alone for a value below one day shown with a time-only
///   format, and for any value below one day in the 1900 date system;
/// - the time of day is the locale's short time format with seconds added
///   ("17:47:13" in Spanish, "5:47:13 PM" in US English).
/// Days count from 1899-12-31 (serial 1 = 1900-01-01, with Excel's fictitious
/// 1900-02-29 as serial 60) or, with 1904 dates, from 1904-01-01 (serial 0).
/// A value that is no real date (negative, 60, past 9999) reads as a plain number.
QString dateTimeText(double serial, NumberFormatKind kind, bool dates1904, const QLocale& locale);
