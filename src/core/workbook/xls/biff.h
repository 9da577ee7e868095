#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

#include <memory>
#include <vector>

namespace fotolista {

/// Low-level pieces of the BIFF5/BIFF8 record format (Excel 5.0 to 2003).
namespace xls::biff {

namespace record {
constexpr quint16 Formula = 0x0006;
constexpr quint16 Eof = 0x000A;
constexpr quint16 DateMode = 0x0022;
constexpr quint16 FilePass = 0x002F;
constexpr quint16 Continue = 0x003C;
constexpr quint16 Window1 = 0x003D;
constexpr quint16 CodePage = 0x0042;
constexpr quint16 BoundSheet = 0x0085;
constexpr quint16 MulRk = 0x00BD;
constexpr quint16 MulBlank = 0x00BE;
constexpr quint16 RString = 0x00D6;
constexpr quint16 Xf = 0x00E0;
constexpr quint16 Sst = 0x00FC;
constexpr quint16 LabelSst = 0x00FD;
constexpr quint16 Blank = 0x0201;
constexpr quint16 Number = 0x0203;
constexpr quint16 Label = 0x0204;
constexpr quint16 BoolErr = 0x0205;
constexpr quint16 String = 0x0207;
constexpr quint16 Rk = 0x027E;
constexpr quint16 Format = 0x041E;
constexpr quint16 Bof = 0x0809;
}  // namespace record

constexpr quint16 kVersionBiff5 = 0x0500;
constexpr quint16 kVersionBiff8 = 0x0600;
constexpr quint16 kSubstreamGlobals = 0x0005;

struct Record {
    quint16 type = 0;
    QByteArrayView data;
    qsizetype offset = 0;  ///< where the record header starts in the stream
};

/// Walks the records of a stream. A record whose length runs past the end
/// stops the walk and marks the stream as cut short.
class RecordCursor {
public:
    explicit RecordCursor(QByteArrayView stream, qsizetype start = 0);

    /// Next record, or false at the end of the stream or at a cut-off record.
    bool next(Record& out);
    /// The type of the next record without moving; 0 when there is none.
    quint16 peekType() const;
    bool truncated() const { return m_truncated; }
    qsizetype position() const { return m_pos; }

private:
    QByteArrayView m_stream;
    qsizetype m_pos = 0;
    bool m_truncated = false;
};

/// Reads a record's bytes together with the CONTINUE records after it, as one
/// run of bytes, except in character data: a string that crosses into the next
/// piece starts that piece with a fresh option byte telling its width.
class ContinuedReader {
public:
    explicit ContinuedReader(std::vector<QByteArrayView> pieces);

    bool readU8(quint8& v);
    bool readU16(quint16& v);
    bool readU32(quint32& v);
    bool skip(quint64 n);
    /// Reads `count` characters that start as 8-bit (Latin-1) or 16-bit.
    bool readChars(quint32 count, bool wide, QString& out);
    bool atEnd();

private:
    /// Moves past exhausted pieces; false when all are used up.
    bool ensureByte();

    std::vector<QByteArrayView> m_pieces;
    size_t m_piece = 0;
    qsizetype m_pos = 0;
};

/// A BIFF8 unicode string: 16-bit length, option byte, optional run count and
/// phonetic size, the characters, then the runs and phonetic data (skipped).
bool readUnicodeString(ContinuedReader& in, QString& out);

/// Converts BIFF5 byte strings using the workbook's CODEPAGE.
class CodePageDecoder {
public:
    /// Without a CODEPAGE record Excel wrote the Western Windows code page.
    CodePageDecoder() : CodePageDecoder(1252) {}
    explicit CodePageDecoder(quint16 codePage);
    QString decode(QByteArrayView bytes) const;

private:
    std::shared_ptr<QStringDecoder> m_decoder;  // null: Latin-1
};

}  // namespace xls::biff

}  // namespace fotolista
