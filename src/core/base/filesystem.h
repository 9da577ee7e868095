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

/// The identity of the entry at `path` itself, a link not followed; nothing,
/// with errno saying why (ENOENT: no such entry), when it cannot be read.
std::optional<FileIdentity> entryIdentity(const QString& path);

/// What stands at a path, a link not followed.
enum class EntryKind {
    None,  ///< nothing, or nothing that can be looked at
    Link,  ///< a symbolic link (on Windows any reparse point)
    Folder,
    Other,  ///< a file, or anything else that is neither
};
EntryKind entryKind(const QString& path);

/// 0 when the user may write the existing file `path`, else an errno value.
int fileWriteError(const QString& path);

/// 0 when the user may make new entries in `folder`, else an errno value.
int folderWriteError(const QString& folder);

/// The longest name one entry may have, in the units of nameLength().
inline constexpr qint64 kMaxNameLength = 255;

/// A name's length as the system counts it: the bytes of its encoding, on
/// Windows its UTF-16 units.
qint64 nameLength(const QString& name);

/// Why this system keeps no file of that name in a folder: on Windows, the
/// characters its file systems reserve, a folder name ending in a dot or a
/// blank (which Windows drops), and device names. `leavesFolder` when a write
/// under that name would not fail but land elsewhere: a device ("NUL",
/// "COM1.jpg") or, after ":", a hidden stream of another file.
struct NameRefusal {
    QString why;
    bool leavesFolder = false;
};
/// `name` is one part of a path; `isFolder` when more parts follow it.
std::optional<NameRefusal> systemNameRefusal(const QString& name, bool isFolder);

/// The system's text for an error number, in the user's language.
QString systemErrorText(int error);

}  // namespace fotolista
