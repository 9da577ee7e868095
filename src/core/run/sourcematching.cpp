#include "core/run/sourcematching.h"

#include "core/base/caseblindfinder.h"
#include "core/base/filesystem.h"
#include "core/base/relativenames.h"
#include "core/base/uiservices.h"

SourceMatch matchSource(CaseBlindFinder& finder, const QString& sourceFolder, const QString& sourceText,
                        const QString& destinationText, const QString& sourceFormat)
{
    SourceMatch m;
    if (sourceText.isEmpty()) {
        m.fate = RowFate::Unnamed;
        return m;
    }
    m.sourcePath = sourceFolder + QLatin1Char('/') + sourceText + sourceFormat;
    if (!isSafeRelativeName(sourceText + sourceFormat) || !isSafeRelativeName(destinationText)) {
        m.fate = RowFate::Unsafe;
        return m;
    }
    const std::optional<QString> found = finder.find(sourceFolder, withForwardSlashes(sourceText + sourceFormat));
    if (!found) {
        m.fate = RowFate::Missing;
        return m;
    }
    m.fate = RowFate::Found;
    m.resolvedPath = *found;
    return m;
}

void warnIfSourceFolderEmpty(UiServices& ui, const QString& sourceFolder)
{
    if (folderSize(sourceFolder) > 50)
        return;
    ui.showMessage(QStringLiteral("No existen archivos en la carpeta fuente especificada, incluya los JPGs"),
                   MessageButtons::Ok, MessageIcon::Critical);
}
