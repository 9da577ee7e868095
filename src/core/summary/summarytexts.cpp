#include "core/summary/summarytexts.h"

#include "core/base/shortint.h"

#include <QLocale>

QString rowEntryText(qint64 passNumber, const QString& originAddress, const QString& sourceText,
                     const QString& sourceFormat, const QString& destinationAddress,
                     const QString& destinationText)
{
    return QString::number(passNumber) + QStringLiteral(" - C.O: ") + originAddress + QStringLiteral(" valor: ")
        + sourceText + sourceFormat + QStringLiteral(" || C.D.: ") + destinationAddress + QStringLiteral(" : ")
        + QStringLiteral(" valor: ") + destinationText + QStringLiteral(".jpg");
}

qint64 kilobytes(qint64 bytes)
{
    return static_cast<qint64>(roundHalfEven(static_cast<double>(bytes) / 1024.0));
}

QString sizeDetailText(qint64 kbRead, qint64 kbWritten)
{
    return QStringLiteral("Tam I Grande: ") + QString::number(kbRead) + QStringLiteral(" Kb.")
        + QStringLiteral(" Tam F Grande: ") + QString::number(kbWritten) + QStringLiteral(" Kb.");
}

QString compressionDetailText(qint64 kbRead, qint64 kbWritten)
{
    if (kbRead == 0)
        return QStringLiteral("Porcentaje comprimido n/d % || Ratio: n/d sobre unidad");
    const double p = 100.0 - (static_cast<double>(kbWritten) * 100.0) / static_cast<double>(kbRead);
    const qint64 percent = static_cast<qint64>(roundHalfEven(p));
    // (P + 100) / 100 is P / 100 + 1 without the extra rounding step, so the
    // shortest form is the plain two-decimal figure (1,92, not 1,9199999999999999).
    const double ratio = static_cast<double>(percent + 100) / 100.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QStringLiteral("Porcentaje comprimido ") + QString::number(percent) + QStringLiteral(" % || Ratio: ")
        + locale.toString(ratio, 'f', QLocale::FloatingPointShortest) + QStringLiteral(" sobre unidad");
}

QString unchangedTag() { return QStringLiteral("sin cambios"); }

QString unchangedDetailText()
{
    return QStringLiteral("Sin cambios: las dos copias ya están hechas con esta foto y estos ajustes");
}
