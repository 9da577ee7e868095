#pragma once

#include <QString>

class CaseBlindFinder;
class UiServices;

/// What becomes of a row once its source has been looked up.
enum class RowFate {
    Found,    ///< the source image exists: the row is processed
    Unnamed,  ///< the origin cell is empty
    Missing,  ///< no such file in the source folder
    Unsafe,   ///< a cell text would read or write outside the chosen folders
};

/// A row's source: its fate and, when found, the real file to read.
struct SourceMatch {
    RowFate fate = RowFate::Missing;
    QString sourcePath;    ///< folder + "/" + origin text + format, as shown to the user
    QString resolvedPath;  ///< the file actually found (letter case may differ)
};

/// Looks up the source of a row. Cell texts are relative names ("\" read as
/// "/"); names are matched regardless of letter case.
SourceMatch matchSource(CaseBlindFinder& finder, const QString& sourceFolder, const QString& sourceText,
                        const QString& destinationText, const QString& sourceFormat);

/// Warns, before a run is validated, when the source folder holds 50 bytes or
/// less (counting every file in every sub-folder); a warning only.
void warnIfSourceFolderEmpty(UiServices& ui, const QString& sourceFolder);
