#include "core/workbook/zip/markupscanner.h"

#include <QByteArray>

#include <cstring>

namespace fotolista {

namespace workbook {

namespace {

constexpr char16_t kCData[] = u"[CDATA[";
constexpr int kCDataLength = 7;

}  // namespace

MarkupScanner::Verdict MarkupScanner::take(char16_t unit)
{
    // A '<' in text starts the next piece, so it never counts to the last one.
    if (!(m_state == State::Text && unit == u'<') && ++m_run > m_longest)
        return Verdict::TooLong;
    const char16_t before = m_last[1];
    const char16_t twoBefore = m_last[0];
    m_last[0] = m_last[1];
    m_last[1] = unit;

    switch (m_state) {
    case State::Text:
        if (unit == u'<') {
            m_state = State::Open;
            m_run = 1;
        }
        return Verdict::Ok;
    case State::Open:
        if (unit == u'!') {
            m_state = State::Bang;
            m_bangLength = 0;
        } else if (unit == u'?') {
            m_state = State::Instruction;
        } else {
            m_state = State::Text;  // a tag: it ends before the next '<' anyway
        }
        return Verdict::Ok;
    case State::Bang:
        // "<!--" opens a comment, "<![CDATA[" a CDATA section; anything else
        // after "<!" declares something.
        if (m_bangLength == 0 && unit == u'-') {
            m_bangLength = 1;
            return Verdict::Ok;
        }
        if (m_bangLength == 1 && before == u'-' && unit == u'-' && twoBefore == u'!') {
            m_state = State::Comment;
            m_last[0] = m_last[1] = 0;  // "<!-->" does not close it
            return Verdict::Ok;
        }
        if (m_bangLength < kCDataLength && before != u'-' && unit == kCData[m_bangLength]) {
            if (++m_bangLength == kCDataLength)
                m_state = State::CData;
            return Verdict::Ok;
        }
        return Verdict::Declaration;
    case State::Comment:
        if (unit == u'>' && before == u'-' && twoBefore == u'-')
            m_state = State::Text;
        return Verdict::Ok;
    case State::CData:
        if (unit == u'>' && before == u']' && twoBefore == u']')
            m_state = State::Text;
        return Verdict::Ok;
    case State::Instruction:
        if (unit == u'>' && before == u'?')
            m_state = State::Text;
        return Verdict::Ok;
    }
    return Verdict::Ok;
}

MarkupScanner::Verdict MarkupScanner::scan(QByteArrayView bytes)
{
    if (m_verdict != Verdict::Ok)
        return m_verdict;
    if (m_width == Width::Unknown) {
        m_start.append(bytes.data(), bytes.size());
        if (m_start.size() < 2)
            return Verdict::Ok;
        const QByteArrayView first = QByteArrayView(m_start).first(2);
        if (first == "\xFF\xFE" || first == QByteArrayView("<\0", 2))
            m_width = Width::Utf16Le;
        else if (first == "\xFE\xFF" || first == QByteArrayView("\0<", 2))
            m_width = Width::Utf16Be;
        else
            m_width = Width::Bytes;
        const QByteArray start = std::move(m_start);
        m_start.clear();
        return scan(start);
    }
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_width == Width::Bytes && m_state == State::Text) {
            // Most of a part is text and tags: skip to the next '<' at once.
            const void* found = std::memchr(bytes.data() + i, '<', size_t(bytes.size() - i));
            const qsizetype end = found ? static_cast<const char*>(found) - bytes.data() : bytes.size();
            m_run += end - i;
            if (m_run > m_longest)
                return m_verdict = Verdict::TooLong;
            if (end > i) {
                m_last[0] = end - i > 1 ? char16_t(static_cast<unsigned char>(bytes[end - 2])) : m_last[1];
                m_last[1] = char16_t(static_cast<unsigned char>(bytes[end - 1]));
            }
            i = end;
            if (i == bytes.size())
                break;
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        char16_t unit = b;
        if (m_width != Width::Bytes) {
            if (m_pendingByte < 0) {
                m_pendingByte = b;
                continue;
            }
            unit = m_width == Width::Utf16Le ? char16_t(m_pendingByte | (b << 8)) : char16_t((m_pendingByte << 8) | b);
            m_pendingByte = -1;
        }
        m_verdict = take(unit);
        if (m_verdict != Verdict::Ok)
            return m_verdict;
    }
    return Verdict::Ok;
}

}  // namespace workbook

}  // namespace fotolista
