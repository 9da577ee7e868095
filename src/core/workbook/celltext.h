#pragma once

#include "core/workbook/numberformat.h"

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

namespace fotolista {

/// How a boolean cell reads: "Verdadero" or "Falso", whatever the locale.
QString booleanText(bool value);

/// A number as the original platform turned it into text: at most 15
/// significant digits, no group separators, the locale's decimal separator;
/// integers plainly (12345, 12345678901, -7); an exponent only when the
/// 15-digit form needs one, i.e. from 1E+15 up and below 0.0001
/// ("1,23456789012346E+16", "1E-05" in Spanish).
QString plainNumberText(double value, const QLocale& locale);

/// How a workbook counts days in its date and time numbers.
enum class DateSystem : quint8 {
    /// Excel's default: serial 1 is 1900-01-01, serial 60 the fictitious
    /// 1900-02-29; day 0 carries no date.
    Excel1900,
    /// Excel for Mac's: serial 0 is 1904-01-01.
    Excel1904,
    /// OpenDocument's: day 0 is 1899-12-30, every day real, earlier days negative.
    Calendar1899,
};

/// A number shown with a date or time format, as a date value reads as text:
/// - the locale's short date ("23/3/64" in Spanish), followed by a blank and
///   the time of day when that is not midnight;
/// - the time of day alone for a value below one day shown with a time-only
///   format, and for any value below one day in the 1900 date system;
/// - the time of day is the locale's short time format with seconds added
///   ("17:47:13" in Spanish, "5:47:13 PM" in US English).
/// Days count as `system` says. A value that is no real date in its system
/// (negative in Excel's, serial 60 in the 1900 one, past 9999) reads as a
/// plain number.
QString dateTimeText(double serial, NumberFormatKind kind, DateSystem system, const QLocale& locale);

/// The number a date and time written in ISO 8601 ("2005-02-23",
/// "2005-02-23T17:47:13.5", a zone suffix ignored) stands for in a date
/// system; empty when the text is no such date or the system cannot hold it.
std::optional<double> serialFromIsoDateTime(QStringView iso, DateSystem system);

/// The part of a day an ISO 8601 time of day alone stands for ("10:10:10",
/// "T10:10:10.5", a zone suffix ignored); empty when the text is no such time
/// or not below 24:00.
std::optional<double> dayFractionFromIsoTime(QStringView iso);

}  // namespace fotolista
