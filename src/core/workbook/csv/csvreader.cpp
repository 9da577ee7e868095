#include "core/workbook/csv/csvreader.h"

#include "core/workbook/bounds.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace fotolista {

namespace csv {

using workbook::Refusal;

namespace {

constexpr qsizetype kSampleBytes = 64 * 1024;
constexpr int kSampleRecords = 100;
constexpr qsizetype kPieceBytes = 1 << 20;

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        char32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((more == 2 && code < 0x800) || (more == 3 && code < 0x10000) || (code >= 0xD800 && code <= 0xDFFF)
            || code > 0x10FFFF)
            return false;
        i += more + 1;
    }
    return true;
}

/// Windows-1252's characters at 0x80-0x9F, where Latin-1 has C1 controls;
/// the five it leaves out stay controls, as Windows decodes them.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

/// Decodes the pieces of a file in one encoding, each on its own.
class Decoder {
public:
    explicit Decoder(Encoding encoding)
    {
        switch (encoding) {
        case Encoding::Utf8: m_qt.emplace(QStringConverter::Utf8, QStringConverter::Flag::Stateless); break;
        case Encoding::Utf16LittleEndian:
            m_qt.emplace(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
            break;
        case Encoding::Utf16BigEndian:
            m_qt.emplace(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
            break;
        case Encoding::Windows1252:
            m_qt.emplace("windows-1252", QStringConverter::Flag::Stateless);
            if (!m_qt->isValid()) {
                // A Qt without ICU (the Windows build): Latin-1, then the
                // characters where Windows-1252 differs from it.
                m_qt.emplace(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
                m_ownHighHalf = true;
            }
            break;
        }
    }

    QString decode(QByteArrayView bytes)
    {
        QString text = m_qt->decode(bytes);
        if (m_ownHighHalf) {
            for (QChar& c : text) {
                if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
                    c = QChar(kWindows1252High[c.unicode() - 0x80]);
            }
        }
        return text;
    }

private:
    std::optional<QStringDecoder> m_qt;
    bool m_ownHighHalf = false;
};

/// Where a piece of the file that starts at `from` ends, so that no
/// character is cut in two: each piece is decoded on its own, and a sequence
/// cut short at the very end of the file gives a replacement character.
qsizetype pieceEnd(QByteArrayView bytes, qsizetype from, qsizetype length, Encoding encoding)
{
    qsizetype end = std::min(from + length, bytes.size());
    if (end == bytes.size())
        return end;
    switch (encoding) {
    case Encoding::Utf16LittleEndian:
    case Encoding::Utf16BigEndian: end -= (end - from) % 2; break;
    case Encoding::Utf8:
        for (qsizetype lead = end - 1; lead >= from && lead >= end - 4; --lead) {
            const auto b = static_cast<unsigned char>(bytes[lead]);
            if ((b & 0xC0) == 0x80)
                continue;  // a continuation byte: look further back
            const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (lead + length > end && lead > from)
                end = lead;
            break;
        }
        break;
    case Encoding::Windows1252: break;
    }
    return end;
}

/// Text that is no table: binary bytes (NUL), a web page, an XML document.
bool looksLikeTable(QStringView start)
{
    if (start.contains(QChar(0)))
        return false;
    QStringView head = start.trimmed();
    head = head.first(std::min<qsizetype>(head.size(), 16));
    for (QStringView markup : {u"<?xml", u"<!doctype", u"<html", u"<table", u"<!--"}) {
        if (head.startsWith(markup, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

/// Splits text into fields and records, one character at a time, so that a
/// file can be decoded and read a piece at a time.
class Splitter {
public:
    explicit Splitter(QChar delimiter) : m_delimiter(delimiter) {}
    virtual ~Splitter() = default;

    /// False when the receiver wants no more.
    bool feed(QStringView text)
    {
        for (const QChar c : text) {
            if (!take(c))
                return false;
        }
        return true;
    }
    bool finish()
    {
        if (m_state == State::RecordStart)
            return true;
        return endRecord();
    }

protected:
    virtual bool field(quint32 column, QString& text) = 0;
    virtual bool record() = 0;
    bool tooLong() const { return m_field.size() >= workbook::bounds::kTextUnits; }

private:
    enum class State { RecordStart, FieldStart, Unquoted, Quoted, QuoteInQuoted };

    bool take(QChar c)
    {
        if (m_afterCarriageReturn) {
            m_afterCarriageReturn = false;
            if (c == u'\n')
                return true;  // the rest of a CR LF
        }
        switch (m_state) {
        case State::RecordStart:
        case State::FieldStart:
        case State::Unquoted:
        case State::QuoteInQuoted:
            if (c == m_delimiter)
                return endField();
            if (c == u'\n' || c == u'\r') {
                m_afterCarriageReturn = c == u'\r';
                return endRecord();
            }
            if (c == u'"' && (m_state == State::RecordStart || m_state == State::FieldStart)) {
                m_state = State::Quoted;
                return true;
            }
            if (c == u'"' && m_state == State::QuoteInQuoted) {
                m_state = State::Quoted;  // a doubled quote stands for one
                return append(c);
            }
            // After a closing quote, text up to the delimiter still belongs to
            // the field (Excel reads «"ab"c» as «abc»).
            if (m_state != State::QuoteInQuoted)
                m_state = State::Unquoted;
            return append(c);
        case State::Quoted:
            if (c == u'"') {
                m_state = State::QuoteInQuoted;
                return true;
            }
            return append(c);
        }
        return true;
    }

    bool append(QChar c)
    {
        if (tooLong())
            return fieldTooLong();
        m_field += c;
        return true;
    }
    virtual bool fieldTooLong() = 0;

    bool endField()
    {
        const bool more = field(m_column, m_field);
        m_field.clear();
        ++m_column;
        m_state = State::FieldStart;
        return more;
    }
    bool endRecord()
    {
        const bool more = endField() && record();
        m_column = 0;
        m_state = State::RecordStart;
        return more;
    }

    QChar m_delimiter;
    State m_state = State::RecordStart;
    bool m_afterCarriageReturn = false;
    quint32 m_column = 0;
    QString m_field;
};

/// Counts the fields of each record of a sample.
class FieldCounter final : public Splitter {
public:
    using Splitter::Splitter;
    std::vector<quint32> counts;

protected:
    bool field(quint32 column, QString&) override
    {
        m_fields = column + 1;
        return true;
    }
    bool record() override
    {
        counts.push_back(m_fields);
        return counts.size() < std::size_t(kSampleRecords);
    }
    bool fieldTooLong() override { return false; }

private:
    quint32 m_fields = 0;
};

/// Puts each non-empty field into the sheet.
class SheetFiller final : public Splitter {
public:
    SheetFiller(QChar delimiter, workbook::SheetBuilder& builder) : Splitter(delimiter), m_builder(builder) {}
    bool overflowed() const { return m_builder.overflow() != workbook::SheetOverflow::None; }
    bool rowsExhausted() const { return m_rowsExhausted; }

protected:
    bool field(quint32 column, QString& text) override
    {
        if (text.isEmpty())
            return true;
        return m_builder.addText(m_row, column, text);
    }
    bool record() override
    {
        if (m_row == 0xFFFFFFFEu) {
            m_rowsExhausted = true;
            return false;
        }
        ++m_row;
        return true;
    }
    bool fieldTooLong() override
    {
        m_builder.overflowed(workbook::SheetOverflow::Text);
        return false;
    }

private:
    workbook::SheetBuilder& m_builder;
    quint32 m_row = 0;
    bool m_rowsExhausted = false;
};

}  // namespace

Encoding detectEncoding(QByteArrayView bytes, qsizetype& markLength)
{
    markLength = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        markLength = 3;
        return Encoding::Utf8;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        markLength = 2;
        return Encoding::Utf16LittleEndian;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        markLength = 2;
        return Encoding::Utf16BigEndian;
    }
    return isValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252;
}

QChar sniffDelimiter(QStringView sample, bool sampleIsWhole)
{
    // On a tie ';' wins (Spanish desktops, where ',' is the decimal separator
    // and splits number columns as evenly), then tab, then ','.
    const std::array<QChar, 3> candidates{u';', u'\t', u','};
    QChar best = candidates[0];
    std::size_t bestScore = 0;
    for (const QChar delimiter : candidates) {
        FieldCounter counter(delimiter);
        counter.feed(sample);
        if (sampleIsWhole)
            counter.finish();
        else if (counter.counts.size() > 1)
            counter.counts.pop_back();  // the last record may be cut short
        std::map<quint32, std::size_t> frequency;
        for (quint32 n : counter.counts)
            ++frequency[n];
        std::size_t score = 0;
        quint32 fields = 0;
        for (const auto& [n, times] : frequency) {
            if (n > 1 && (times > score || (times == score && n > fields))) {
                score = times;
                fields = n;
            }
        }
        if (score > bestScore) {
            best = delimiter;
            bestScore = score;
        }
    }
    return best;
}

std::optional<workbook::Refusal> read(QByteArrayView bytes, workbook::Sheet& sheet)
{
    if (bytes.size() > workbook::bounds::kTextFileBytes)
        return Refusal::TextTooLarge;
    qsizetype mark = 0;
    const Encoding encoding = detectEncoding(bytes, mark);
    bytes = bytes.sliced(mark);

    // A sample decoded on its own chooses the delimiter and tells a table from
    // other text.
    const qsizetype sampleBytes = pieceEnd(bytes, 0, kSampleBytes, encoding);
    Decoder decoder(encoding);
    const QString sample = decoder.decode(bytes.first(sampleBytes));
    if (!looksLikeTable(sample))
        return Refusal::NotWorkbook;
    const QChar delimiter = sniffDelimiter(sample, sampleBytes == bytes.size());

    workbook::SheetBuilder builder;
    SheetFiller filler(delimiter, builder);
    bool more = true;
    for (qsizetype at = 0, end = 0; more && at < bytes.size(); at = end) {
        end = pieceEnd(bytes, at, kPieceBytes, encoding);
        const QString piece = decoder.decode(bytes.sliced(at, end - at));
        if (piece.contains(QChar(0)))
            return Refusal::NotWorkbook;
        more = filler.feed(piece);
    }
    if (more)
        more = filler.finish();
    if (filler.overflowed())
        return builder.overflow() == workbook::SheetOverflow::Text ? Refusal::TooMuchText : Refusal::TooManyCells;
    sheet = builder.finish();
    return std::nullopt;
}

}  // namespace csv

}  // namespace fotolista
