#include "core/workbook/celladdress.h"

#include <limits>

namespace fotolista {

namespace {

constexpr quint64 kMaxIndex = std::numeric_limits<quint32>::max();

bool isAsciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

}  // namespace

std::optional<CellPosition> parseCellAddress(QStringView address)
{
    qsizetype i = 0;
    // Columns are bijective base 26 (A = 1 ... Z = 26, AA = 27); the 1-based
    // value saturates just above the 32-bit range so huge inputs cannot wrap.
    quint64 column1 = 0;
    while (i < address.size() && isAsciiLetter(address[i])) {
        const quint64 letter = address[i].toUpper().unicode() - u'A' + 1;
        column1 = qMin(column1 * 26 + letter, kMaxIndex + 1);
        ++i;
    }
    if (i == 0 || i == address.size())
        return std::nullopt;

    quint64 row1 = 0;
    const qsizetype digitsStart = i;
    while (i < address.size() && isAsciiDigit(address[i])) {
        row1 = qMin(row1 * 10 + (address[i].unicode() - u'0'), kMaxIndex + 1);
        ++i;
    }
    if (i != address.size() || i == digitsStart || row1 == 0)
        return std::nullopt;

    return CellPosition{static_cast<quint32>(row1 - 1), static_cast<quint32>(column1 - 1)};
}

QString formatCellAddress(quint32 row0, quint32 column0)
{
    QString letters;
    quint64 n = quint64(column0) + 1;
    while (n > 0) {
        const quint64 rem = (n - 1) % 26;
        letters.prepend(QChar(char16_t(u'A' + rem)));
        n = (n - 1) / 26;
    }
    return letters + QString::number(quint64(row0) + 1);
}

}  // namespace fotolista
