#include "core/summary/summarytexts.h"

#include "core/base/shortint.h"

#include <QLocale>

#include <algorithm>

namespace fotolista {

namespace {

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

QString hexDigits(ushort code, int width)
{
    return QString::number(code, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

}  // namespace

QString escapedControls(const QString& text)
{
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (!isControl(c))
            out += c;
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x100)
            out += QStringLiteral("\\x") + hexDigits(c.unicode(), 2);
        else
            out += QStringLiteral("\\u{") + hexDigits(c.unicode(), 4) + QLatin1Char('}');
    }
    return out;
}

QString rowEntryText(qint64 passNumber, const QString& originAddress, const QString& sourceText,
                     const QString& sourceFormat, const QString& destinationAddress, const QString& destinationText)
{
    return QString::number(passNumber) + QStringLiteral(" - C.O: ") + originAddress + QStringLiteral(" valor: ")
           + escapedControls(sourceText) + sourceFormat + QStringLiteral(" || C.D.: ") + destinationAddress
           + QStringLiteral(" : ") + QStringLiteral(" valor: ") + escapedControls(destinationText)
           + QStringLiteral(".jpg");
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

QString unchangedTag()
{
    return QStringLiteral("sin cambios");
}

QString unchangedDetailText()
{
    return QStringLiteral("Sin cambios: las dos copias ya están hechas con esta foto y estos ajustes");
}

}  // namespace fotolista
