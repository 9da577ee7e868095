// Feeds the package readers (.xlsx, .xlsm, .ods: a ZIP archive of XML parts)
// with what a user might pick as a workbook, then reads every cell the way a
// run does. The first byte chooses how the rest is used:
//   0: the bytes of a file, whatever they are (damaged archives);
//   1: the parts of an .xlsx, separated by "\x00\x00": workbook.xml, its
//      relationships, sheet1.xml, sharedStrings.xml, styles.xml;
//   2: the parts of an .ods: content.xml, settings.xml, META-INF/manifest.xml;
// 1 and 2 are stored in an archive here, so that mutations reach the XML.

#include "core/workbook/open/openworkbook.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace fotolista;

namespace {

const QString kPath = QStringLiteral("fuzz.xlsx");

[[noreturn]] void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "fuzz_package: %s %s\n", what, qUtf8Printable(detail));
    std::abort();
}

/// A ZIP archive of stored (uncompressed) parts.
QByteArray storedArchive(const QList<std::pair<const char*, QByteArray>>& parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive)
        fail("cannot make an archive");
    zip_source_keep(source);
    for (const auto& [name, data] : parts) {
        zip_source_t* part = zip_source_buffer(archive, data.constData(), zip_uint64_t(data.size()), 0);
        const zip_int64_t index = part ? zip_file_add(archive, name, part, ZIP_FL_OVERWRITE) : -1;
        if (index < 0 || zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0)
            fail("cannot add a part");
    }
    if (zip_close(archive) != 0)
        fail("cannot write the archive");
    QByteArray bytes;
    if (zip_source_open(source) == 0) {
        char buffer[65536];
        for (zip_int64_t n; (n = zip_source_read(source, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, qsizetype(n));
        zip_source_close(source);
    }
    zip_source_free(source);
    zip_error_fini(&error);
    return bytes;
}

QByteArray packageFrom(uint8_t mode, const QByteArray& rest)
{
    const QList<QByteArray> pieces = rest.split('\0');
    QList<QByteArray> parts;
    QByteArray current;
    // "\x00\x00" separates parts; a lone NUL stays in the part.
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            if (pieces[i - 1].isEmpty() && i > 1) {
                parts.append(current);
                current.clear();
                continue;
            }
            current += '\0';
        }
        current += pieces[i];
    }
    parts.append(current);
    const auto part = [&](int i) { return i < parts.size() ? parts[i] : QByteArray(); };
    if (mode == 1) {
        return storedArchive({
            {"[Content_Types].xml", QByteArrayLiteral("<Types/>")},
            {"_rels/.rels", QByteArrayLiteral("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                                              "relationships\"><Relationship Id=\"r\" Type=\"http://schemas."
                                              "openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
                                              "Target=\"xl/workbook.xml\"/></Relationships>")},
            {"xl/workbook.xml", part(0)},
            {"xl/_rels/workbook.xml.rels", part(1)},
            {"xl/worksheets/sheet1.xml", part(2)},
            {"xl/sharedStrings.xml", part(3)},
            {"xl/styles.xml", part(4)},
        });
    }
    return storedArchive({
        {"mimetype", QByteArrayLiteral("application/vnd.oasis.opendocument.spreadsheet")},
        {"content.xml", part(0)},
        {"settings.xml", part(1)},
        {"META-INF/manifest.xml", part(2)},
    });
}

void check(bool ok, const char* what, const QString& detail = {})
{
    if (!ok)
        fail(what, detail);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0] % 3;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QLocale::setDefault(size % 2 ? QLocale(QLocale::Spanish, QLocale::Spain)
                                 : QLocale(QLocale::English, QLocale::UnitedStates));

    const QByteArray bytes = mode == 0 ? rest : packageFrom(mode, rest);
    const workbook::LoadResult result = workbook::parseWorkbook(bytes, kPath);
    if (!result.ok()) {
        check(result.message.contains(kPath), "refusal does not name the file:", result.message);
        return 0;
    }
    check(result.message.isEmpty(), "accepted with a message:", result.message);

    const workbook::Sheet& sheet = *result.sheet;
    const auto cells = sheet.nonEmptyCellTexts();
    for (size_t i = 0; i < cells.size(); ++i) {
        const auto& [position, text] = cells[i];
        check(!text.isEmpty(), "empty text listed as non-empty");
        check(sheet.cellText(position.row, position.column) == text, "cellText disagrees with the listing:", text);
        if (i + 1 < cells.size()) {
            const CellPosition next = cells[i + 1].first;
            check(position.row < next.row || (position.row == next.row && position.column < next.column),
                  "cells not in row-major order, or listed twice");
        }
    }
    return 0;
}
