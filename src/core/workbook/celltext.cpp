#include "core/workbook/celltext.h"

#include <QDate>
#include <QTime>

#include <charconv>
#include <cmath>
#include <iterator>

namespace {

QString timeFormatWithSeconds(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(u's'))
        return format;
    const qsizetype minutes = format.lastIndexOf(u"mm");
    if (minutes < 0)
        return QStringLiteral("HH:mm:ss");
    const QChar before = minutes > 0 ? format[minutes - 1] : QChar(u':');
    const QChar separator = before.isLetter() || before.isSpace() ? QChar(u':') : before;
    format.insert(minutes + 2, QString(separator) + QStringLiteral("ss"));
    return format;
}


} // namespace

QString booleanText(bool value) { return value ? QStringLiteral("Verdadero") : QStringLiteral("Falso"); }

QString plainNumberText(double value, const QLocale& locale)
{
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    // "%.15G": 15 significant digits, trailing zeros dropped, an exponent only
    // below 1E-04 or from 1E+15 up. to_chars does not depend on the C locale.
    char buffer[40];
    const auto converted = std::to_chars(std::begin(buffer), std::end(buffer), value,
                                         std::chars_format::general, 15);
    QString text = QString::fromLatin1(buffer, converted.ptr - buffer);
    text.replace(u'e', u'E');
    text.replace(u'.', locale.decimalPoint());
    return text;
}

QString dateTimeText(double serial, NumberFormatKind kind, bool dates1904, const QLocale& locale)
{
    constexpr double kLastSerial = 2958466.0; // 10000-01-01 in the 1900 system
    if (kind == NumberFormatKind::Number || !std::isfinite(serial) || serial < 0
        || serial >= kLastSerial)
        return plainNumberText(serial, locale);

    const qint64 seconds = std::llround(serial * 86400.0);
    const qint64 days = seconds / 86400;
    const QTime time = QTime(0, 0).addSecs(int(seconds % 86400));
    const QString timeText = locale.toString(time, timeFormatWithSeconds(locale));

    if (days == 0 && (kind == NumberFormatKind::Time || !dates1904))
        return timeText;

    QDate date;
    if (dates1904)
        date = QDate(1904, 1, 1).addDays(days);
    else if (days < 60)
        date = QDate(1899, 12, 31).addDays(days);
    else if (days == 60)
        return plainNumberText(serial, locale); // 1900-02-29, which never was
    else
        date = QDate(1899, 12, 30).addDays(days); // Excel counts that day anyway
    if (!date.isValid() || date.year() > 9999)
        return plainNumberText(serial, locale);

    QString text = locale.toString(date, QLocale::ShortFormat);
    if (time != QTime(0, 0))
        text += u' ' + timeText;
    return text;
}
