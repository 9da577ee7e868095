#include "core/workbook/numberformat.h"

#include <QString>

namespace fotolista {

namespace {

/// The date and time letters of a format code in order of appearance: d, y,
/// m, h, s, and t for minutes that cannot be a month ([mm]).
QString dateTimeTokens(QStringView code)
{
    QString tokens;
    const qsizetype n = code.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = code[i];
        switch (c.unicode()) {
        case u'"': {
            const qsizetype close = code.indexOf(u'"', i + 1);
            i = close < 0 ? n : close;
            continue;
        }
        case u'\\':
        case u'_':
        case u'*':
            ++i;  // the next character is literal text or padding
            continue;
        case u'[': {
            const qsizetype close = code.indexOf(u']', i + 1);
            const QStringView inside = code.sliced(i + 1, (close < 0 ? n : close) - i - 1);
            bool allTime = !inside.isEmpty();
            for (QChar k : inside)
                allTime = allTime && QStringView(u"hHmMsS").contains(k);
            // Elapsed time such as [h]:mm or [mm]:ss; 't' marks minutes that
            // cannot be a month.
            if (allTime)
                tokens.append(inside[0].toLower() == u'm' ? QChar(u't') : inside[0].toLower());
            i = close < 0 ? n : close;
            continue;
        }
        default: break;
        }
        if (code.sliced(i).startsWith(u"general", Qt::CaseInsensitive)) {
            i += 6;
            continue;
        }
        if (code.sliced(i).startsWith(u"am/pm", Qt::CaseInsensitive)
            || code.sliced(i).startsWith(u"a/p", Qt::CaseInsensitive)) {
            tokens.append(u'h');
            i += code.sliced(i).startsWith(u"a/p", Qt::CaseInsensitive) ? 2 : 4;
            continue;
        }
        const QChar lower = c.toLower();
        if (lower == u'd' || lower == u'y' || lower == u'm' || lower == u'h' || lower == u's') {
            tokens.append(lower);
            // A run like "mmm" or "yyyy" is one token.
            while (i + 1 < n && code[i + 1].toLower() == lower)
                ++i;
        }
    }
    return tokens;
}

}  // namespace

NumberFormatKind classifyFormatCode(QStringView code)
{
    // 'm' means minutes after an hour or before seconds, else a month.
    const QString tokens = dateTimeTokens(code);
    bool hasDate = false;
    bool hasTime = false;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QChar t = tokens[i];
        if (t == u'd' || t == u'y') {
            hasDate = true;
        } else if (t == u'h' || t == u's' || t == u't') {
            hasTime = true;
        } else {  // 'm'
            const bool afterHour = i > 0 && tokens[i - 1] == u'h';
            const bool beforeSecond = i + 1 < tokens.size() && tokens[i + 1] == u's';
            if (afterHour || beforeSecond)
                hasTime = true;
            else
                hasDate = true;
        }
    }
    if (hasDate)
        return NumberFormatKind::Date;
    return hasTime ? NumberFormatKind::Time : NumberFormatKind::Number;
}

NumberFormatKind builtInFormatKind(quint16 index)
{
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the East Asian dates
    // and times Excel keeps built in for its Japanese, Chinese and Korean editions.
    switch (index) {
    case 14:
    case 15:
    case 16:
    case 17:
    case 22:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 34:
    case 35:
    case 36:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 57:
    case 58: return NumberFormatKind::Date;
    case 18:
    case 19:
    case 20:
    case 21:
    case 32:
    case 33:
    case 45:
    case 46:
    case 47:
    case 55:
    case 56: return NumberFormatKind::Time;
    default: return NumberFormatKind::Number;
    }
}

}  // namespace fotolista
