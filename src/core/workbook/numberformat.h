#pragma once

#include <QStringView>
#include <QtGlobal>

namespace fotolista {

/// What a number format shows, which decides how a number cell reads.
enum class NumberFormatKind {
    Number,
    Date,  ///< a calendar date, possibly with a time of day
    Time,  ///< only a time of day or a duration
};

/// Classifies a format code such as "d/m/yyyy", "[h]:mm" or "#,##0.00 [$€-407]":
/// it shows a date or time when d, m, y, h or s appear outside quoted text,
/// escapes and brackets (except elapsed-time brackets like [h]).
NumberFormatKind classifyFormatCode(QStringView code);

/// The kind of a built-in format index (the numbers .xls and .xlsx files
/// share) that the workbook does not redefine.
NumberFormatKind builtInFormatKind(quint16 index);

}  // namespace fotolista
