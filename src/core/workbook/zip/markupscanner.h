#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace fotolista {

namespace workbook {

/// Watches the raw bytes of an XML part before the parser gets them. The
/// parser keeps each text, tag, comment or CDATA section whole until it ends,
/// so one of them may not grow past a bound; and a declaration (<!DOCTYPE,
/// <!ENTITY) is stopped before the parser could read, let alone expand, it.
/// Reads UTF-8 and, when the part starts like it, UTF-16 of either order.
class MarkupScanner {
public:
    enum class Verdict { Ok, Declaration, TooLong };

    explicit MarkupScanner(qint64 longestPiece) : m_longest(longestPiece) {}

    /// The next bytes of the part; once a verdict is not Ok it stays so.
    Verdict scan(QByteArrayView bytes);
    /// Bytes since the text, tag, comment or section now open began.
    qint64 openPieceBytes() const { return m_run * (m_width == Width::Bytes || m_width == Width::Unknown ? 1 : 2); }

private:
    enum class Width { Unknown, Bytes, Utf16Le, Utf16Be };
    enum class State { Text, Open, Bang, Comment, CData, Instruction };

    Verdict take(char16_t unit);

    qint64 m_longest;
    Width m_width = Width::Unknown;
    QByteArray m_start;  // the first bytes, until the width is known
    int m_pendingByte = -1;  // half of a UTF-16 unit
    State m_state = State::Text;
    qint64 m_run = 0;  // units since the current piece began
    char16_t m_last[2] = {0, 0};
    int m_bangLength = 0;  // units of "<!..." read so far
    Verdict m_verdict = Verdict::Ok;
};

}  // namespace workbook

}  // namespace fotolista
