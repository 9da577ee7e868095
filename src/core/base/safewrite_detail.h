#pragma once

#include <QByteArray>

// Shared by the two system files of writeFileSafely.

namespace fotolista::safewrite_detail {

/// Publishes the temporary file's name, in the system's own bytes (UTF-8 on
/// Windows), to writeInProgressPath() while it lives. Writes happen on one
/// thread; should two ever overlap, the second is simply not published.
class WriteInProgress {
public:
    explicit WriteInProgress(const QByteArray& name);
    ~WriteInProgress();
    WriteInProgress(const WriteInProgress&) = delete;
    WriteInProgress& operator=(const WriteInProgress&) = delete;

private:
    bool m_owner = false;
};

/// Hidden, so a half-written file is never taken for a result, and short
/// whatever the target's name, so every name the file system takes can be
/// written; random, so nobody can plant anything there beforehand.
QByteArray randomName();

}  // namespace fotolista::safewrite_detail
