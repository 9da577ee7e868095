#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

namespace fotolista {

/// Total size in bytes of the regular files in `path` and all its sub-folders;
/// 0 for a folder that is missing or cannot be read.
qint64 folderSize(const QString& path);

/// Size in bytes of a regular file, or nothing when it cannot be measured.
std::optional<qint64> fileSize(const QString& path);

/// What makes two paths one file: the same file whatever the names, letter
/// case or links that lead to it.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

inline size_t qHash(const FileIdentity& id, size_t seed = 0)
{
    return ::qHash(id.inode, seed) ^ ::qHash(id.device, seed);
}

/// The identity of the file at `path` (links followed); nothing when there is none.
std::optional<FileIdentity> fileIdentity(const QString& path);

/// The system's text for an error number, in the user's language.
QString systemErrorText(int error);

}  // namespace fotolista
