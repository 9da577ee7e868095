#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

struct zip;
struct zip_file;

namespace fotolista {

namespace workbook {

/// Why a part of a package could not be read whole.
enum class PartError {
    None,
    Missing,
    Damaged,  ///< a bad checksum, a broken compressed stream, a method not supported
    Encrypted,  ///< the entry needs a password
    TooLarge,  ///< it decompresses past the bound given, or the package's
};

class ZipPackage;

/// The decompressed bytes of one part, read in pieces as they are inflated.
class PartStream {
public:
    ~PartStream();
    PartStream(const PartStream&) = delete;
    PartStream& operator=(const PartStream&) = delete;

    /// The next piece, at most `maximum` bytes; empty at the end of the part
    /// or after an error.
    QByteArray read(qint64 maximum);
    PartError error() const { return m_error; }

private:
    friend class ZipPackage;
    PartStream(ZipPackage& package, zip_file* file, qint64 limit);

    ZipPackage& m_package;
    zip_file* m_file = nullptr;
    qint64 m_limit = 0;
    qint64 m_read = 0;
    PartError m_error = PartError::None;
};

/// A ZIP archive held in memory (an .xlsx, .xlsm or .ods file), read with
/// libzip. Part names are found regardless of letter case, as the Open
/// Packaging Conventions ask. Every byte inflated counts against
/// bounds::kPackageInflatedBytes, whatever sizes the archive declares.
class ZipPackage {
public:
    /// Opens the archive in `bytes`, which must outlive the package.
    explicit ZipPackage(QByteArrayView bytes);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    /// False when the bytes are no readable ZIP archive (cut short, a broken
    /// central directory).
    bool isOpen() const { return m_archive != nullptr; }
    bool contains(const QString& name) const;

    /// A stream over one part, inflating at most `limit` bytes of it (and
    /// bounds::kPartBytes in any case); null with `error` set when the part is
    /// missing or cannot be opened.
    std::unique_ptr<PartStream> open(const QString& name, PartError& error, qint64 limit);
    /// A whole small part, such as "mimetype".
    PartError readAll(const QString& name, QByteArray& out, qint64 limit);

private:
    friend class PartStream;
    qint64 locate(const QString& name) const;

    zip* m_archive = nullptr;
    qint64 m_inflated = 0;
};

}  // namespace workbook

}  // namespace fotolista
