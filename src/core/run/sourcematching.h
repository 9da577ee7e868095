#pragma once

#include <QString>
#include <QStringList>

namespace fotolista {

class CaseBlindFinder;
class UiServices;

/// What becomes of a row once its source has been looked up.
enum class RowFate {
    Found,  ///< the source image exists: the row is processed
    Unnamed,  ///< the origin cell is empty
    Missing,  ///< no such file in the source folder
    Unsafe,  ///< a cell text would read or write outside the chosen folders
};

/// A row's source: its fate and, when found, the real file to read.
struct SourceMatch {
    RowFate fate = RowFate::Missing;
    /// What follows the origin text where the user reads it: the format
    /// chosen, or with "any format" the extension of the file found (".*"
    /// while none is).
    QString extension;
    QString sourcePath;  ///< folder + separator + origin text + extension, as shown to the user (shownPath)
    QString resolvedPath;  ///< the file actually found (letter case may differ)
};

/// The extensions "any format" tries after the origin text, in this order;
/// letter case is ignored, and the first that names a file wins.
QStringList anyFormatExtensions();

/// Looks up the source of a row. Cell texts are relative names ("\" read as
/// "/"); names are matched regardless of letter case. `sourceFormat` is the
/// setting: ".JPG", ".TIF" or JobSettings::anySourceFormat().
SourceMatch matchSource(CaseBlindFinder& finder, const QString& sourceFolder, const QString& sourceText,
                        const QString& destinationText, const QString& sourceFormat);

/// Warns, before a run is validated, when the source folder holds 50 bytes or
/// less (counting every file in every sub-folder); a warning only.
void warnIfSourceFolderEmpty(UiServices& ui, const QString& sourceFolder);

}  // namespace fotolista
