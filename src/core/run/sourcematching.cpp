#include "core/run/sourcematching.h"

#include "core/base/caseblindfinder.h"
#include "core/base/filesystem.h"
#include "core/base/relativenames.h"
#include "core/base/shownpaths.h"
#include "core/base/uiservices.h"
#include "core/settings/jobsettings.h"

namespace fotolista {

QStringList anyFormatExtensions()
{
    return {QStringLiteral(".jpg"),  QStringLiteral(".jpeg"), QStringLiteral(".tif"),
            QStringLiteral(".tiff"), QStringLiteral(".png"),  QStringLiteral(".webp"),
            QStringLiteral(".heic"), QStringLiteral(".heif"), QStringLiteral(".avif")};
}

SourceMatch matchSource(CaseBlindFinder& finder, const QString& sourceFolder, const QString& sourceText,
                        const QString& destinationText, const QString& sourceFormat)
{
    SourceMatch m;
    const bool any = sourceFormat == JobSettings::anySourceFormat();
    m.extension = sourceFormat;
    if (sourceText.isEmpty()) {
        m.fate = RowFate::Unnamed;
        return m;
    }
    m.sourcePath = shownPath(sourceFolder) + shownSeparator() + shownPath(sourceText) + sourceFormat;
    // The extensions add no folder step: the origin text decides safety.
    const QString checked = sourceText + (any ? QStringLiteral(".jpg") : sourceFormat);
    if (!isSafeRelativeName(checked) || !isSafeRelativeName(destinationText)) {
        m.fate = RowFate::Unsafe;
        return m;
    }
    const QStringList extensions = any ? anyFormatExtensions() : QStringList{sourceFormat};
    for (const QString& extension : extensions) {
        const std::optional<QString> found = finder.find(sourceFolder, withForwardSlashes(sourceText + extension));
        if (!found)
            continue;
        m.fate = RowFate::Found;
        m.resolvedPath = *found;
        if (any) {
            // The extension as the file has it.
            m.extension = found->right(extension.size());
            m.sourcePath = shownPath(sourceFolder) + shownSeparator() + shownPath(sourceText) + m.extension;
        }
        return m;
    }
    m.fate = RowFate::Missing;
    return m;
}

void warnIfSourceFolderEmpty(UiServices& ui, const QString& sourceFolder)
{
    if (folderSize(sourceFolder) > 50)
        return;
    ui.showMessage(QStringLiteral("No existen archivos en la carpeta fuente especificada, incluya los JPGs"),
                   MessageButtons::Ok, MessageIcon::Critical);
}

}  // namespace fotolista
