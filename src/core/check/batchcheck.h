#pragma once

#include <QString>

#include <vector>

namespace fotolista {

class JobSettings;
class PlacementSource;
class WorkbookReader;

/// What the check can find. A problem costs a row its images (or another
/// row's); a note is worth a look, but the run goes through.
enum class FindingKind {
    MissingSource,  ///< falta-origen: no such source
    EmptyOrigin,  ///< origen-vacio: a destination without an origin
    InvalidName,  ///< nombre-no-valido: a name a run would not process
    RepeatedDestination,  ///< destino-repetido: a row writes what an earlier row wrote
    Unreadable,  ///< no-legible: a header unreadable or beyond the pixel limits
    OverwritesSource,  ///< pisa-origen: an output would replace a photo of the workbook
    DataAfterEnd,  ///< datos-tras-fin: the walk ends at an empty row with data below it
    Overwrites,  ///< sobrescribe: the output exists and will be replaced
    RepeatedSource,  ///< origen-repetido: a source an earlier row uses too
    Unused,  ///< sin-usar: a readable source that no row uses
    Ambiguous,  ///< ambiguo: several files match the name in different letter case
    OtherFormat,  ///< otro-formato: no source in the chosen format, but one in another
    Blanks,  ///< espacios: a cell text begins or ends with blanks
    DoubleExtension,  ///< extension-doble: a cell text already ends in an image extension
    Enlarged,  ///< se-amplia: a source narrower than a copy it makes
    SmallForMarketplace,  ///< pequena-para-tiendas: a product too small for a marketplace's zoom
    CodeTooLong,  ///< codigo-largo: more characters than the band holds
    MissingGlyph,  ///< sin-glifo: a character of the code without a picture
    NarrowBand,  ///< banda-estrecha: the band does not reach the copy's right edge
    MarkOutside,  ///< marca-fuera: the interior mark does not fit the copy and is left out
};

bool isProblem(FindingKind kind);

/// The kind as the command prints it: "falta-origen", "sobrescribe", ...
QString findingKindName(FindingKind kind);

struct Finding {
    qint64 row = 0;  ///< workbook row of the origin cell; 0 for the source folder
    FindingKind kind = FindingKind::MissingSource;
    QString detail;
    qint64 otherRow = 0;  ///< the earlier row of a repeated destination or source
};

enum class CheckEnd {
    Refused,  ///< the run would refuse to start: nothing checked
    WorkbookUnreadable,  ///< the workbook cannot be read: nothing checked
    Checked,
};

struct CheckResult {
    CheckEnd end = CheckEnd::Refused;
    QString message;  ///< what the run would say when it refuses
    qint64 rowCount = 0;
    QString sheetName;  ///< the sheet read, when the format names it
    qint64 stopRow = 0;  ///< the empty row the walk ends at
    qint64 rowsLeftAfterStop = 0;  ///< rows with data below it that a run would not reach
    /// Row by row in workbook order, then the folder's findings.
    std::vector<Finding> findings;

    qint64 problemCount() const;
    qint64 noteCount() const;
    /// "N filas de la hoja «S»: P problemas, Q avisos", with the rows left
    /// below an empty row when there are some.
    QString summaryLine() const;
};

/// Walks the workbook as a run with these settings would (the same walk,
/// source matching, name rules, header reading and pixel limits) and tells
/// what would go wrong. Reads no image beyond its header and writes nothing.
/// The outputs of one row are its two copies: two rows that would write the
/// same path, large or small, as the destination's file system compares
/// names, are a repeated destination. `placement` is read when the mark is
/// placed by hand; without it such a mark is taken as centred.
CheckResult checkBatch(const JobSettings& settings, WorkbookReader& reader, PlacementSource* placement = nullptr);

}  // namespace fotolista
