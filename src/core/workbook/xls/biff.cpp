#include "core/workbook/xls/biff.h"

#include <QtEndian>

namespace fotolista {

namespace xls::biff {

RecordCursor::RecordCursor(QByteArrayView stream, qsizetype start) : m_stream(stream), m_pos(start)
{
    if (m_pos < 0 || m_pos > m_stream.size())
        m_pos = m_stream.size();
}

bool RecordCursor::next(Record& out)
{
    if (m_stream.size() - m_pos < 4) {
        // A few stray bytes after the last record are padding, not damage.
        m_pos = m_stream.size();
        return false;
    }
    const quint16 type = qFromLittleEndian<quint16>(m_stream.data() + m_pos);
    const quint16 length = qFromLittleEndian<quint16>(m_stream.data() + m_pos + 2);
    if (m_stream.size() - m_pos - 4 < length) {
        m_truncated = true;
        m_pos = m_stream.size();
        return false;
    }
    out.type = type;
    out.offset = m_pos;
    out.data = m_stream.sliced(m_pos + 4, length);
    m_pos += 4 + length;
    return true;
}

quint16 RecordCursor::peekType() const
{
    if (m_stream.size() - m_pos < 4)
        return 0;
    return qFromLittleEndian<quint16>(m_stream.data() + m_pos);
}

ContinuedReader::ContinuedReader(std::vector<QByteArrayView> pieces) : m_pieces(std::move(pieces)) {}

bool ContinuedReader::ensureByte()
{
    while (m_piece < m_pieces.size() && m_pos >= m_pieces[m_piece].size()) {
        ++m_piece;
        m_pos = 0;
    }
    return m_piece < m_pieces.size();
}

bool ContinuedReader::atEnd()
{
    return !ensureByte();
}

bool ContinuedReader::readU8(quint8& v)
{
    if (!ensureByte())
        return false;
    v = quint8(m_pieces[m_piece][m_pos++]);
    return true;
}

bool ContinuedReader::readU16(quint16& v)
{
    quint8 lo = 0, hi = 0;
    if (!readU8(lo) || !readU8(hi))
        return false;
    v = quint16(lo | (hi << 8));
    return true;
}

bool ContinuedReader::readU32(quint32& v)
{
    quint16 lo = 0, hi = 0;
    if (!readU16(lo) || !readU16(hi))
        return false;
    v = quint32(lo) | (quint32(hi) << 16);
    return true;
}

bool ContinuedReader::skip(quint64 n)
{
    while (n > 0) {
        if (!ensureByte())
            return false;
        const quint64 here = quint64(m_pieces[m_piece].size() - m_pos);
        const quint64 step = qMin(here, n);
        m_pos += qsizetype(step);
        n -= step;
    }
    return true;
}

bool ContinuedReader::readChars(quint32 count, bool wide, QString& out)
{
    out.clear();
    // Grow with the bytes present, never with the declared count alone.
    while (count > 0) {
        if (m_piece >= m_pieces.size())
            return false;
        if (m_pos >= m_pieces[m_piece].size()) {
            // The characters go on in the next piece, which restates the width.
            ++m_piece;
            m_pos = 0;
            while (m_piece < m_pieces.size() && m_pieces[m_piece].isEmpty())
                ++m_piece;
            quint8 options = 0;
            if (!readU8(options))
                return false;
            wide = (options & 0x01) != 0;
            continue;
        }
        const QByteArrayView piece = m_pieces[m_piece];
        const qsizetype width = wide ? 2 : 1;
        const qsizetype fit = (piece.size() - m_pos) / width;
        if (fit == 0) {
            // Half a wide character at the end of a piece: drop the stray byte.
            m_pos = piece.size();
            continue;
        }
        const quint32 take = quint32(qMin<qsizetype>(fit, count));
        const char* p = piece.data() + m_pos;
        if (wide) {
            for (quint32 i = 0; i < take; ++i)
                out.append(QChar(qFromLittleEndian<quint16>(p + 2 * i)));
        } else {
            out.append(QLatin1StringView(p, take));
        }
        m_pos += take * width;
        count -= take;
    }
    return true;
}

namespace {

bool readStringBody(ContinuedReader& in, quint32 count, QString& out)
{
    quint8 options = 0;
    if (!in.readU8(options))
        return false;
    quint16 runs = 0;
    quint32 phoneticBytes = 0;
    if ((options & 0x08) && !in.readU16(runs))
        return false;
    if ((options & 0x04) && !in.readU32(phoneticBytes))
        return false;
    if (!in.readChars(count, (options & 0x01) != 0, out))
        return false;
    return in.skip(quint64(runs) * 4) && in.skip(phoneticBytes);
}

}  // namespace

bool readUnicodeString(ContinuedReader& in, QString& out)
{
    quint16 count = 0;
    return in.readU16(count) && readStringBody(in, count, out);
}

namespace {

QByteArray codecName(quint16 codePage)
{
    switch (codePage) {
    case 367:
    case 1200:  // BIFF8 strings are UTF-16 and never pass through here
    case 21010: return {};
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 10000:
    case 32768: return "macintosh";
    case 32769: return "windows-1252";
    default: break;
    }
    if (codePage >= 1250 && codePage <= 1258)
        return "windows-" + QByteArray::number(codePage);
    if (codePage == 874)
        return "windows-874";
    if (codePage < 1000)
        return "IBM" + QByteArray::number(codePage);
    return {};
}

}  // namespace

CodePageDecoder::CodePageDecoder(quint16 codePage)
{
    const QByteArray name = codecName(codePage);
    if (name.isEmpty())
        return;
    // Stateless: a text that ends inside a multi-byte sequence gives a
    // replacement character, not a shorter name that may match another file.
    auto decoder = std::make_shared<QStringDecoder>(name.constData(), QStringConverter::Flag::Stateless);
    if (decoder->isValid())
        m_decoder = std::move(decoder);
}

QString CodePageDecoder::decode(QByteArrayView bytes) const
{
    if (!m_decoder)
        return QString::fromLatin1(bytes);
    m_decoder->resetState();
    QString text = m_decoder->decode(bytes);
    // Some converters drop a sequence cut short at the end without a trace;
    // a text that lost bytes must not read as a shorter, valid name.
    if (m_decoder->hasError() && !text.contains(QChar(QChar::ReplacementCharacter)) && !text.contains(QChar(0x1A)))
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

}  // namespace xls::biff

}  // namespace fotolista
