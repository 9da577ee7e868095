#pragma once

#include <QStringList>

class QTextStream;

namespace fotolista {

/// `fotolista-batch watermark --text NAME [--logo FILE] [--font FAMILY]
/// [--text-colour #RRGGBB] [--band-colour #RRGGBB] [--large-width N] FOLDER`:
/// writes the shop's own watermark folder. Needs a QGuiApplication (fonts).
/// Returns 0 when written, 1 when it could not be, 2 on a mistaken use.
int runWatermarkCommand(const QStringList& args, const QString& programFolder, QTextStream& out, QTextStream& err);

}  // namespace fotolista
