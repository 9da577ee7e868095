#include "core/workbook/refusal.h"

namespace workbook {

QString refusalMessage(const QString& path, Refusal refusal, bool excel)
{
    QString reason;
    switch (refusal) {
    case Refusal::Unreadable:
        reason = QStringLiteral("el archivo no existe o no se puede leer.");
        break;
    case Refusal::Empty:
        reason = QStringLiteral("el archivo está vacío.");
        break;
    case Refusal::NotWorkbook:
        reason = excel ? QStringLiteral("no es un libro de Excel 95-2003 (.xls).")
                       : QStringLiteral("no es un libro de cálculo que el programa sepa leer "
                                        "(.xls, .xlsx, .xlsm, .ods, .csv o .txt).");
        break;
    case Refusal::PackageAsXls:
        reason = QStringLiteral("es un libro de Excel 2007 o posterior (.xlsx); "
                                "guárdelo como «Libro de Excel 97-2003 (.xls)».");
        break;
    case Refusal::Damaged:
        reason = QStringLiteral("el archivo está dañado o incompleto.");
        break;
    case Refusal::Encrypted:
        reason = QStringLiteral("el libro está protegido con contraseña.");
        break;
    case Refusal::BinaryWorkbook:
        reason = QStringLiteral("es un libro binario de Excel (.xlsb); guárdelo como «Libro de Excel (.xlsx)».");
        break;
    case Refusal::PackageTooLarge:
        reason = QStringLiteral("el archivo pasa de 128 MB, más de lo que el programa acepta en un libro.");
        break;
    case Refusal::TextTooLarge:
        reason = QStringLiteral("el archivo de texto pasa de 64 MB, más de lo que el programa acepta.");
        break;
    case Refusal::InflatesTooLarge:
        reason = QStringLiteral("descomprimido pasa de 256 MB por parte o de 512 MB en total, "
                                "más de lo que el programa acepta en un libro.");
        break;
    case Refusal::TooManyCells:
        reason = QStringLiteral("la hoja tiene más de 3 millones de celdas con contenido, "
                                "más de las que el programa acepta.");
        break;
    case Refusal::TooMuchText:
        reason = QStringLiteral("los textos de la hoja pasan de 32 millones de caracteres, "
                                "más de lo que el programa acepta.");
        break;
    case Refusal::XmlDeclarations:
        reason = QStringLiteral("contiene declaraciones XML (DTD) que un libro de cálculo no usa.");
        break;
    case Refusal::XmlTooDeep:
        reason = QStringLiteral("su XML anida más de 256 niveles, cosa que un libro de cálculo no hace.");
        break;
    case Refusal::XmlPieceTooLong:
        reason = QStringLiteral("su XML tiene un texto o una etiqueta de más de 16 MB, "
                                "cosa que un libro de cálculo no tiene.");
        break;
    case Refusal::XmlTooManyElements:
        reason = QStringLiteral("su XML tiene más de 16 millones de elementos, "
                                "más de lo que el programa acepta en un libro.");
        break;
    }
    return (excel ? QStringLiteral("No se puede leer el libro de Excel «%1»: %2")
                  : QStringLiteral("No se puede leer el libro «%1»: %2"))
        .arg(path, reason);
}

} // namespace workbook
