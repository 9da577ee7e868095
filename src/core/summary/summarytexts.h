#pragma once

#include <QString>

namespace fotolista {

/// `text` with its control characters written out (a line feed as \n, a
/// carriage return as \r, a tab as \t, any other as \xHH or \u{HHHH}), so a
/// cell's text can never start a line of its own in the log, the summary or
/// a warning. Other characters, "\" among them, stay as they are.
QString escapedControls(const QString& text);

/// Text of a row entry and of its log line, the cell texts' control
/// characters written out:
/// "3 - C.O: F14 valor: 12345.JPG || C.D.: A14 :  valor: ABC.jpg".
QString rowEntryText(qint64 passNumber, const QString& originAddress, const QString& sourceText,
                     const QString& sourceFormat, const QString& destinationAddress, const QString& destinationText);

/// Kilobytes of a byte size, rounded half to even (1536 → 2, 2560 → 2, 3584 → 4).
qint64 kilobytes(qint64 bytes);

/// "Tam I Grande: 812 Kb. Tam F Grande: 64 Kb."
QString sizeDetailText(qint64 kbRead, qint64 kbWritten);

/// "Porcentaje comprimido 92 % || Ratio: 1,92 sobre unidad", the ratio in its
/// shortest form with the user's decimal separator; "n/d" when kbRead is 0.
QString compressionDetailText(qint64 kbRead, qint64 kbWritten);

/// Tag of a row skipped under "Solo cambiadas", and the detail under it.
QString unchangedTag();
QString unchangedDetailText();

}  // namespace fotolista
