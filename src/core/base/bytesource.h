#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <span>
#include <utility>

namespace fotolista {

/// Random access to bytes: a file or a block of memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    /// Reads exactly `n` bytes at `offset`; false when they are not all there.
    virtual bool read(qint64 offset, void* into, qint64 n) = 0;
    QByteArray readBytes(qint64 offset, qint64 n);
    /// All the bytes, when they lie in memory already; null otherwise.
    virtual const std::byte* contiguous() const { return nullptr; }
};

/// Bytes held in memory (not copied: they must outlive the source).
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::byte> bytes) : m_bytes(bytes) {}
    qint64 size() const override { return qint64(m_bytes.size()); }
    bool read(qint64 offset, void* into, qint64 n) override;
    const std::byte* contiguous() const override { return m_bytes.data(); }

private:
    std::span<const std::byte> m_bytes;
};

/// A piece of bytes that replaces others at `offset`.
struct BytePatch {
    qint64 offset = 0;
    QByteArray bytes;
};

/// The bytes of another source with one piece replaced: what a library is
/// given in place of the file, without copying the file (the other source
/// must outlive this one).
class OverlaidSource final : public ByteSource {
public:
    OverlaidSource(ByteSource& base, BytePatch patch) : m_base(base), m_patch(std::move(patch)) {}
    qint64 size() const override { return m_base.size(); }
    bool read(qint64 offset, void* into, qint64 n) override;

private:
    ByteSource& m_base;
    BytePatch m_patch;
};

/// The bytes of a file: its start is read at once, as a header walk asks
/// for many small pieces of it, and the rest as it is asked for.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const QString& path);
    bool isOpen() const { return m_open; }
    qint64 size() const override { return m_size; }
    bool read(qint64 offset, void* into, qint64 n) override;

private:
    QFile m_file;
    bool m_open = false;
    qint64 m_size = 0;
    QByteArray m_start;
};

}  // namespace fotolista
