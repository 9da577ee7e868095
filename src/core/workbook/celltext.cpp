#include "core/workbook/celltext.h"

#include <QDate>
#include <QList>
#include <QTime>

#include <charconv>
#include <cmath>
#include <iterator>

namespace fotolista {

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

// "hh:mm" or "hh:mm:ss[.fff]", a zone suffix ("Z", "+01:00", "-05:00")
// ignored: it does not change the time shown.
std::optional<double> isoSecondsOfDay(QStringView timePart)
{
    for (qsizetype i = 0; i < timePart.size(); ++i) {
        if (timePart[i] == u'Z' || timePart[i] == u'+' || timePart[i] == u'-') {
            timePart.truncate(i);
            break;
        }
    }
    const QList<QStringView> hms = timePart.split(u':');
    if (hms.size() < 2 || hms.size() > 3)
        return std::nullopt;
    bool okH = false, okM = false, okS = true;
    const int hours = hms[0].toInt(&okH);
    const int minutes = hms[1].toInt(&okM);
    const double seconds = hms.size() == 3 ? hms[2].toDouble(&okS) : 0.0;
    if (!okH || !okM || !okS || hours < 0 || hours > 24 || minutes < 0 || minutes > 59 || !(seconds >= 0)
        || seconds >= 61)
        return std::nullopt;
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

}  // namespace

QString booleanText(bool value)
{
    return value ? QStringLiteral("Verdadero") : QStringLiteral("Falso");
}

QString plainNumberText(double value, const QLocale& locale)
{
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    if (value == 0)
        return QStringLiteral("0");  // also for -0
    // "%.15G": 15 significant digits, trailing zeros dropped, an exponent only
    // below 1E-04 or from 1E+15 up. to_chars does not depend on the C locale.
    char buffer[40];
    const auto converted = std::to_chars(std::begin(buffer), std::end(buffer), value, std::chars_format::general, 15);
    QString text = QString::fromLatin1(buffer, converted.ptr - buffer);
    text.replace(u'e', u'E');
    text.replace(u'.', locale.decimalPoint());
    return text;
}

QString dateTimeText(double serial, NumberFormatKind kind, DateSystem system, const QLocale& locale)
{
    constexpr double kLastSerial = 2958466.0;  // 10000-01-01 in the 1900 system
    const bool excel = system != DateSystem::Calendar1899;
    if (kind == NumberFormatKind::Number || !std::isfinite(serial) || (excel && serial < 0) || serial >= kLastSerial
        || serial <= -kLastSerial)
        return plainNumberText(serial, locale);

    const qint64 seconds = std::llround(serial * 86400.0);
    // Whole days towards minus infinity, so a time before day 0 is still a time of day.
    const qint64 days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const QTime time = QTime(0, 0).addSecs(int(seconds - days * 86400));
    const QString timeText = locale.toString(time, timeFormatWithSeconds(locale));

    if (days == 0 && (kind == NumberFormatKind::Time || system == DateSystem::Excel1900))
        return timeText;

    QDate date;
    switch (system) {
    case DateSystem::Excel1904: date = QDate(1904, 1, 1).addDays(days); break;
    case DateSystem::Calendar1899: date = QDate(1899, 12, 30).addDays(days); break;
    case DateSystem::Excel1900:
        if (days < 60)
            date = QDate(1899, 12, 31).addDays(days);
        else if (days == 60)
            return plainNumberText(serial, locale);  // 1900-02-29, which never was
        else
            date = QDate(1899, 12, 30).addDays(days);  // Excel counts that day anyway
        break;
    }
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return plainNumberText(serial, locale);

    QString text = locale.toString(date, QLocale::ShortFormat);
    if (time != QTime(0, 0))
        text += u' ' + timeText;
    return text;
}

std::optional<double> serialFromIsoDateTime(QStringView iso, DateSystem system)
{
    // Date part: [-]YYYY-MM-DD, the year possibly longer than four digits.
    const qsizetype t = iso.indexOf(u'T');
    const QStringView datePart = t < 0 ? iso : iso.first(t);
    const bool negativeYear = datePart.startsWith(u'-');
    const QList<QStringView> ymd = (negativeYear ? datePart.sliced(1) : datePart).split(u'-');
    if (ymd.size() != 3 || ymd[1].size() != 2 || ymd[2].size() != 2 || ymd[0].size() < 4 || ymd[0].size() > 6)
        return std::nullopt;
    bool okYear = false, okMonth = false, okDay = false;
    const int year = ymd[0].toInt(&okYear) * (negativeYear ? -1 : 1);
    const QDate date(year, ymd[1].toInt(&okMonth), ymd[2].toInt(&okDay));
    if (!okYear || !okMonth || !okDay || !date.isValid())
        return std::nullopt;

    double secondsOfDay = 0;
    if (t >= 0) {
        const std::optional<double> seconds = isoSecondsOfDay(iso.sliced(t + 1));
        if (!seconds)
            return std::nullopt;
        secondsOfDay = *seconds;
    }

    qint64 days = 0;
    switch (system) {
    case DateSystem::Excel1900:
        if (date < QDate(1900, 1, 1))
            return std::nullopt;
        // Excel's serials count a 1900-02-29 that never was.
        days = date < QDate(1900, 3, 1) ? QDate(1899, 12, 31).daysTo(date) : QDate(1899, 12, 30).daysTo(date);
        break;
    case DateSystem::Excel1904:
        if (date < QDate(1904, 1, 1))
            return std::nullopt;
        days = QDate(1904, 1, 1).daysTo(date);
        break;
    case DateSystem::Calendar1899: days = QDate(1899, 12, 30).daysTo(date); break;
    }
    return double(days) + secondsOfDay / 86400.0;
}

std::optional<double> dayFractionFromIsoTime(QStringView iso)
{
    if (iso.startsWith(u'T'))
        iso = iso.sliced(1);
    const std::optional<double> seconds = isoSecondsOfDay(iso);
    if (!seconds || *seconds >= 86400.0)
        return std::nullopt;
    return *seconds / 86400.0;
}

}  // namespace fotolista
