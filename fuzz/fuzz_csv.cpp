// Feeds the delimited-text reader (.csv, .txt) with arbitrary bytes, as a
// user may pick any text file, and checks what it reads against the rules:
// every non-empty field is a cell where its record and place put it, and the
// sheet's listing agrees with its cell lookup.

#include "core/workbook/csv/csvreader.h"
#include "core/workbook/open/openworkbook.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace fotolista;

namespace {

const QString kPath = QStringLiteral("fuzz.csv");

void check(bool ok, const char* what, const QString& detail = {})
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_csv: %s %s\n", what, qUtf8Printable(detail));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));

    workbook::Sheet sheet;
    const std::optional<workbook::Refusal> refusal = csv::read(bytes, sheet);
    if (refusal) {
        const workbook::LoadResult whole = workbook::parseWorkbook(bytes, kPath);
        check(!whole.ok() || bytes.startsWith("PK") || bytes.startsWith("\xD0\xCF\x11\xE0"),
              "the file reads although the text reader refused it");
        return 0;
    }

    // Without quotes, field k of line n is column k of row n: check a few by
    // splitting the decoded text here.
    qsizetype mark = 0;
    const csv::Encoding encoding = csv::detectEncoding(bytes, mark);
    if (encoding == csv::Encoding::Utf8 && !bytes.contains('"') && !bytes.contains('\r') && bytes.size() < 4096) {
        const QString text = QString::fromUtf8(bytes.sliced(mark));
        const QChar delimiter = csv::sniffDelimiter(text, true);
        const QStringList lines = text.split(u'\n');
        for (qsizetype row = 0; row < lines.size(); ++row) {
            const QStringList fields = lines[row].split(delimiter);
            for (qsizetype column = 0; column < fields.size(); ++column)
                check(sheet.cellText(quint32(row), quint32(column)) == fields[column],
                      "field misplaced:", fields[column]);
        }
    }

    const auto cells = sheet.nonEmptyCellTexts();
    for (const auto& [position, text] : cells)
        check(sheet.cellText(position.row, position.column) == text, "cellText disagrees with the listing:", text);
    return 0;
}
