#pragma once

#include <QString>

#include <optional>

/// Total size in bytes of the regular files in `path` and all its sub-folders;
/// 0 for a folder that is missing or cannot be read.
qint64 folderSize(const QString& path);

/// Size in bytes of a regular file, or nothing when it cannot be measured.
std::optional<qint64> fileSize(const QString& path);
