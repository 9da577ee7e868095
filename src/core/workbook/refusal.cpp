#include "core/workbook/refusal.h"

namespace fotolista {

namespace workbook {

namespace {

QString reasonFor(Refusal refusal, bool excel)
{
    switch (refusal) {
    case Refusal::Unreadable: return QStringLiteral("el archivo no existe o no se puede leer.");
    case Refusal::Empty: return QStringLiteral("el archivo está vacío.");
    case Refusal::NotWorkbook:
        return excel ? QStringLiteral("no es un libro de Excel 95-2003 (.xls).")
                     : QStringLiteral("no es un libro de cálculo que el programa sepa leer "
                                      "(.xls, .xlsx, .xlsm, .ods, .csv o .txt).");
    case Refusal::PackageAsXls:
        return QStringLiteral("es un libro de Excel 2007 o posterior (.xlsx); "
                              "guárdelo como «Libro de Excel 97-2003 (.xls)».");
    case Refusal::Damaged: return QStringLiteral("el archivo está dañado o incompleto.");
    case Refusal::Encrypted: return QStringLiteral("el libro está protegido con contraseña.");
    case Refusal::BinaryWorkbook:
        return QStringLiteral("es un libro binario de Excel (.xlsb); guárdelo como «Libro de Excel (.xlsx)».");
    case Refusal::PackageTooLarge:
        return QStringLiteral("el archivo pasa de 128 MB, más de lo que el programa acepta en un libro.");
    case Refusal::TextTooLarge:
        return QStringLiteral("el archivo de texto pasa de 64 MB, más de lo que el programa acepta.");
    case Refusal::InflatesTooLarge:
        return QStringLiteral("descomprimido pasa de 256 MB por parte o de 512 MB en total, "
                              "más de lo que el programa acepta en un libro.");
    case Refusal::TooManyCells:
        return QStringLiteral("la hoja tiene más de 3 millones de celdas con contenido, "
                              "más de las que el programa acepta.");
    case Refusal::TooMuchText:
        return QStringLiteral("los textos de la hoja pasan de 32 millones de caracteres, "
                              "más de lo que el programa acepta.");
    case Refusal::XmlDeclarations:
        return QStringLiteral("contiene declaraciones XML (DTD) que un libro de cálculo no usa.");
    case Refusal::XmlTooDeep:
        return QStringLiteral("su XML anida más de 256 niveles, cosa que un libro de cálculo no hace.");
    case Refusal::XmlPieceTooLong:
        return QStringLiteral("su XML tiene un texto o una etiqueta de más de 16 MB, "
                              "cosa que un libro de cálculo no tiene.");
    case Refusal::XmlTooManyElements:
        return QStringLiteral("su XML tiene más de 16 millones de elementos, "
                              "más de lo que el programa acepta en un libro.");
    }
    return {};
}

}  // namespace

QString refusalMessage(const QString& path, Refusal refusal, bool excel)
{
    const QString reason = reasonFor(refusal, excel);
    return (excel ? QStringLiteral("No se puede leer el libro de Excel «%1»: %2")
                  : QStringLiteral("No se puede leer el libro «%1»: %2"))
        .arg(path, reason);
}

}  // namespace workbook

}  // namespace fotolista
