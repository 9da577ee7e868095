#include "core/workbook/open/openworkbook.h"

#include "core/workbook/bounds.h"
#include "core/workbook/csv/csvreader.h"
#include "core/workbook/ods/odsreader.h"
#include "core/workbook/xls/xlsworkbook.h"
#include "core/workbook/xlsx/xlsxreader.h"
#include "core/workbook/zip/zippackage.h"

#include <QFile>
#include <QFileInfo>

namespace fotolista {

namespace workbook {

namespace {

const QByteArray kCompoundFileMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

bool isZip(QByteArrayView bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

LoadResult refused(const QString& path, Refusal refusal)
{
    LoadResult result;
    result.refusal = refusal;
    result.message = refusalMessage(path, refusal);
    return result;
}

LoadResult fromXls(xls::LoadResult loaded)
{
    LoadResult result;
    if (loaded.workbook) {
        result.sheet = loaded.workbook->takeSheet();
        return result;
    }
    result.refusal = loaded.refusal.value_or(Refusal::NotWorkbook);
    result.message = std::move(loaded.message);
    return result;
}

/// A file that cannot be looked into: an .xls name keeps the message it
/// always had.
LoadResult unreadable(const QString& path, Refusal refusal)
{
    LoadResult result = refused(path, refusal);
    if (path.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        result.message = refusalMessage(path, refusal, true);
    return result;
}

LoadResult readPackage(const QByteArray& bytes, const QString& path)
{
    if (bytes.size() > bounds::kPackageFileBytes)
        return refused(path, Refusal::PackageTooLarge);
    ZipPackage package(bytes);
    if (!package.isOpen())
        return refused(path, Refusal::Damaged);

    QByteArray mimetype;
    const PartError mimetypeError = package.readAll(QStringLiteral("mimetype"), mimetype, 256);
    if (mimetypeError != PartError::None && mimetypeError != PartError::Missing)
        return refused(path, Refusal::Damaged);
    mimetype = mimetype.trimmed();

    Sheet sheet;
    std::optional<Refusal> refusal;
    if (mimetype == "application/vnd.oasis.opendocument.spreadsheet"
        || mimetype == "application/vnd.oasis.opendocument.spreadsheet-template") {
        refusal = ods::read(package, sheet);
    } else if (!mimetype.isEmpty()) {
        refusal = Refusal::NotWorkbook;  // another OpenDocument: a text, a presentation
    } else if (package.contains(QStringLiteral("[Content_Types].xml"))) {
        refusal = xlsx::read(package, sheet);
    } else if (package.contains(QStringLiteral("content.xml"))) {
        refusal = ods::read(package, sheet);  // an .ods whose writer left out the mimetype
    } else {
        refusal = Refusal::NotWorkbook;
    }
    if (refusal)
        return refused(path, *refusal);
    LoadResult result;
    result.sheet = std::move(sheet);
    return result;
}

}  // namespace

LoadResult parseWorkbook(const QByteArray& bytes, const QString& pathForMessages)
{
    if (bytes.isEmpty())
        return refused(pathForMessages, Refusal::Empty);
    if (bytes.startsWith(kCompoundFileMagic))
        return fromXls(xls::Workbook::parse(bytes, pathForMessages));
    if (isZip(bytes))
        return readPackage(bytes, pathForMessages);
    Sheet sheet;
    if (const std::optional<Refusal> refusal = csv::read(bytes, sheet))
        return refused(pathForMessages, *refusal);
    LoadResult result;
    result.sheet = std::move(sheet);
    return result;
}

LoadResult loadWorkbook(const QString& path)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return unreadable(path, Refusal::Unreadable);
    if (file.size() == 0)
        return unreadable(path, Refusal::Empty);

    // The first bytes say which bound applies before the rest is read.
    const QByteArray head = file.peek(8);
    if (head.startsWith(kCompoundFileMagic))
        return fromXls(xls::Workbook::load(path));
    const qint64 bound = isZip(head) ? bounds::kPackageFileBytes : bounds::kTextFileBytes;
    if (file.size() > bound)
        return refused(path, isZip(head) ? Refusal::PackageTooLarge : Refusal::TextTooLarge);
    const QByteArray bytes = file.read(file.size());
    if (file.error() != QFileDevice::NoError || bytes.size() != file.size())
        return unreadable(path, Refusal::Unreadable);
    return parseWorkbook(bytes, path);
}

}  // namespace workbook

}  // namespace fotolista
