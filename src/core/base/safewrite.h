#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace fotolista {

/// Writes `bytes` to `path` in one piece: into a new hidden file beside the
/// target, created with O_CREAT|O_EXCL|O_NOFOLLOW under a name nobody can
/// guess, then renamed over the target once complete. So a failed write
/// leaves the target as it was (never a partial or empty file), a link
/// planted at the temporary name is never followed, and a link at the
/// target's own name is replaced, never written through. An existing file
/// whose permission bits forbid the user to write it is not replaced, even
/// by root. True on success; on failure errno says why.
bool writeFileSafely(const QString& path, QByteArrayView bytes);

/// The same, with the temporary names (bare file names) taken from
/// `nextName`, for tests that plant something where the write will look.
bool writeFileSafely(const QString& path, QByteArrayView bytes, const std::function<QByteArray()>& nextName);

/// The temporary file being written at this moment (empty when none), so a
/// handler of a fatal signal can remove it: reading it is async-signal-safe.
const char* writeInProgressPath();

}  // namespace fotolista
