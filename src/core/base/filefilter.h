#pragma once

#include <QString>
#include <QStringList>

namespace fotolista {

/// Turns a filter written as name/pattern pairs, each part followed by "|"
/// ("Archivos para emparejar(*.XLS)|*.xls|"), into Qt's dialog filters
/// ("Archivos para emparejar(*.XLS) (*.xls)"). Several patterns of one entry
/// are separated by ";" in the pair text and by blanks in Qt's form. A
/// trailing name without a pattern is dropped.
QStringList toQtNameFilters(const QString& pairFilter);

}  // namespace fotolista
