#pragma once

#include <QString>

namespace fotolista {

namespace workbook {

/// Why a file cannot be read as a workbook.
enum class Refusal {
    Unreadable,  ///< missing, a folder, or no permission
    Empty,
    NotWorkbook,  ///< no format the program reads
    Damaged,  ///< broken or cut short
    Encrypted,  ///< protected with a password
    BinaryWorkbook,  ///< an Excel binary workbook (.xlsb)
    PackageTooLarge,  ///< a ZIP package past bounds::kPackageFileBytes
    TextTooLarge,  ///< a text file past bounds::kTextFileBytes
    InflatesTooLarge,  ///< parts that decompress past bounds::kPartBytes or kPackageInflatedBytes
    TooManyCells,  ///< past bounds::kCells
    TooMuchText,  ///< past bounds::kTextUnits
    XmlDeclarations,  ///< a DTD, whose entities are never expanded
    XmlTooDeep,  ///< elements nested past bounds::kXmlDepth
    XmlPieceTooLong,  ///< a text or tag past bounds::kXmlPiece
    XmlTooManyElements,  ///< a part with more than bounds::kXmlElements
    PackageAsXls,  ///< a ZIP package (.xlsx) given to the .xls reader
};

/// "No se puede leer el libro «PATH»: REASON", the reason in plain Spanish.
/// `excel`: the file is (or is named as) an Excel 95-2003 workbook, and the
/// message says "el libro de Excel", as it always has for those.
QString refusalMessage(const QString& path, Refusal refusal, bool excel = false);

}  // namespace workbook

}  // namespace fotolista
