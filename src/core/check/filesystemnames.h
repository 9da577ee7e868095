#pragma once

#include <QString>

#include <optional>

namespace fotolista {

/// How long a name may be in a folder, as its file system says, in the
/// units of nameLength() (bytes; on Windows UTF-16 units).
struct NameLimits {
    qint64 nameBytes = 255;  ///< one file or folder name
    qint64 pathBytes = 4096;  ///< a whole path, with its end mark
};

/// The limits of the file system that holds `folder` (the usual 255 and
/// 4096 when it cannot tell).
NameLimits nameLimits(const QString& folder);

/// Why `relative` (separators "/") cannot be a name under `folder`: a part
/// or the whole path is too long. Nothing when it fits.
std::optional<QString> tooLongName(const QString& folder, const QString& relative, const NameLimits& limits);

/// Whether the file system that holds `folder` takes names differing only in
/// letter case for the same file (FAT and exFAT sticks, Windows shares,
/// case-folding folders). Asked without writing: an entry of the folder is
/// looked up with its letter case changed.
bool foldsLetterCase(const QString& folder);

/// Whether the kind of file system that holds `folder` folds letter case
/// whatever its options; asked when no entry of the folder can tell.
bool foldsCaseByKind(const QString& folder);

/// A path as the file system compares it: the same text for every spelling
/// of one file (repeated "/" and "." parts dropped, letter case folded when
/// `foldCase`).
QString comparedPath(const QString& path, bool foldCase);

}  // namespace fotolista
