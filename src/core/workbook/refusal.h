#pragma once

#include <QString>

namespace workbook {

/// Why a file cannot be read as a workbook.
enum class Refusal {
    Unreadable,       ///< missing, a folder, or no permission
    Empty,
    NotWorkbook,      ///< no format the program reads
    Damaged,          ///< broken or cut short
    Encrypted,        ///< protected with a password
    BinaryWorkbook,   ///< an Excel binary workbook (.xlsb)
    PackageTooLarge,  ///< a ZIP package past bounds::kPackageFileBytes
    TextTooLarge,     ///< a text file past bounds::kTextFileBytes
    InflatesTooLarge, ///< parts that decompress past bounds::kPartBytes or kPackageInflatedBytes
    TooManyCells,     ///< past bounds::kCells
    TooMuchText,      ///< past bounds::kTextUnits
    XmlDeclarations,  ///< a DTD, whose entities are never expanded
    XmlTooDeep,       ///< elements nested past bounds::kXmlDepth
    XmlPieceTooLong,  ///< a text or tag past bounds::kXmlPiece
    XmlTooManyElements, ///< a part with more than bounds::kXmlElements
};

/// "No se puede leer el libro «PATH»: REASON", the reason in plain Spanish.
QString refusalMessage(const QString& path, Refusal refusal);

} // namespace workbook
