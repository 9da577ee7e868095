#include "core/run/rowproblems.h"

#include "core/base/filesystem.h"
#include "core/base/shownpaths.h"
#include "core/image/prepareimages.h"
#include "core/summary/summarytexts.h"

#include <QFileInfo>

namespace fotolista {

QString writeFailureReason(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("no existe la carpeta «%1»").arg(shownPath(folder));
    if (info.isDir())
        return QStringLiteral("«%1» es una carpeta").arg(shownPath(path));
    if (const std::optional<NameRefusal> refusal = systemNameRefusal(info.fileName(), false))
        return QStringLiteral("no se ha podido escribir «%1»: %2").arg(shownPath(path), refusal->why);
    if (nameLength(info.fileName()) > kMaxNameLength)
        return QStringLiteral("el nombre «%1» es demasiado largo para el sistema de archivos").arg(info.fileName());
    if (folderWriteError(folder) != 0)
        return QStringLiteral("no se puede escribir en la carpeta «%1»").arg(shownPath(folder));
    if (info.exists() && !info.isWritable())
        return QStringLiteral("«%1» está protegida contra escritura").arg(shownPath(path));
    return QStringLiteral("no se ha podido escribir «%1» (¿está lleno el disco?)").arg(shownPath(path));
}

std::optional<QString> rowFailureText(RowOutcome outcome, const QString& problem)
{
    const QString why = escapedControls(problem);
    switch (outcome) {
    case RowOutcome::Written:
    case RowOutcome::Unchanged:
    case RowOutcome::CellsNoLongerMatching: return std::nullopt;
    case RowOutcome::NotDecoded:
        return why.isEmpty() ? QStringLiteral("No se ha podido leer la imagen; no se ha escrito")
                             : QStringLiteral("No se ha podido leer la imagen (%1); no se ha escrito").arg(why);
    case RowOutcome::TooLarge:
        return QStringLiteral("No se ha escrito: la imagen o su copia pasa del límite de %1 millones de píxeles")
            .arg(kMaxSourcePixels / 1'000'000);
    case RowOutcome::WriteFailed: return QStringLiteral("No se ha escrito: ") + why;
    case RowOutcome::SmallWriteFailed: return QStringLiteral("No se ha escrito la copia pequeña: ") + why;
    case RowOutcome::MarketplaceWriteFailed: return QStringLiteral("No se ha escrito la copia para tiendas: ") + why;
    }
    return std::nullopt;
}

}  // namespace fotolista
