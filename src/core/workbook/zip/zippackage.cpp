#include "core/workbook/zip/zippackage.h"

#include "core/workbook/bounds.h"

#include <zip.h>

#include <algorithm>

namespace fotolista {

namespace workbook {

namespace {

PartError fileError(zip_file_t* file)
{
    switch (zip_error_code_zip(zip_file_get_error(file))) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP: return PartError::Encrypted;
    default: return PartError::Damaged;
    }
}

}  // namespace

PartStream::PartStream(ZipPackage& package, zip_file* file, qint64 limit)
    : m_package(package), m_file(file), m_limit(std::min(limit, bounds::kPartBytes))
{
}

PartStream::~PartStream()
{
    if (m_file)
        zip_fclose(m_file);
}

QByteArray PartStream::read(qint64 maximum)
{
    if (!m_file || m_error != PartError::None)
        return {};
    QByteArray piece(maximum, Qt::Uninitialized);
    const zip_int64_t n = zip_fread(m_file, piece.data(), zip_uint64_t(maximum));
    if (n < 0) {
        m_error = fileError(m_file);
        return {};
    }
    piece.truncate(qsizetype(n));
    m_read += n;
    m_package.m_inflated += n;
    // The sizes an archive declares are not trusted: what counts is what
    // inflating gives.
    if (m_read > m_limit || m_package.m_inflated > bounds::kPackageInflatedBytes) {
        m_error = PartError::TooLarge;
        return {};
    }
    return piece;
}

ZipPackage::ZipPackage(QByteArrayView bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), zip_uint64_t(bytes.size()), 0, &error);
    if (source) {
        m_archive = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_archive)
            zip_source_free(source);
    }
    zip_error_fini(&error);
}

ZipPackage::~ZipPackage()
{
    if (m_archive)
        zip_discard(m_archive);
}

qint64 ZipPackage::locate(const QString& name) const
{
    if (!m_archive || name.isEmpty())
        return -1;
    return zip_name_locate(m_archive, name.toUtf8().constData(), ZIP_FL_NOCASE);
}

bool ZipPackage::contains(const QString& name) const
{
    return locate(name) >= 0;
}

std::unique_ptr<PartStream> ZipPackage::open(const QString& name, PartError& error, qint64 limit)
{
    const qint64 index = locate(name);
    if (index < 0) {
        error = PartError::Missing;
        return nullptr;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_archive, zip_uint64_t(index), 0, &stat) == 0 && (stat.valid & ZIP_STAT_ENCRYPTION_METHOD)
        && stat.encryption_method != ZIP_EM_NONE) {
        error = PartError::Encrypted;
        return nullptr;
    }
    zip_file_t* file = zip_fopen_index(m_archive, zip_uint64_t(index), 0);
    if (!file) {
        zip_error_t* e = zip_get_error(m_archive);
        const int code = zip_error_code_zip(e);
        error = code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_WRONGPASSWD
                    ? PartError::Encrypted
                    : PartError::Damaged;
        zip_error_clear(m_archive);
        return nullptr;
    }
    error = PartError::None;
    return std::unique_ptr<PartStream>(new PartStream(*this, file, limit));
}

PartError ZipPackage::readAll(const QString& name, QByteArray& out, qint64 limit)
{
    out.clear();
    PartError error = PartError::None;
    const std::unique_ptr<PartStream> part = open(name, error, limit);
    if (!part)
        return error;
    for (;;) {
        const QByteArray piece = part->read(64 * 1024);
        if (piece.isEmpty())
            return part->error();
        out += piece;
    }
}

}  // namespace workbook

}  // namespace fotolista
