#pragma once

#include <QString>

namespace fotolista {

/// What became of an attempt to take the lock.
enum class LockAttempt {
    Taken,  ///< this run holds it
    Busy,  ///< another run holds it
    Unavailable,  ///< the lock file cannot be made (a cache folder that cannot be written): the run goes on
};

/// The advisory lock a run holds on its destination, on a file beside the
/// destination's fingerprint file (that one is replaced by each save, so a
/// lock on it would not last). Two runs on one destination would overwrite
/// each other's fingerprints: the second waits or gives up. Released when
/// the object goes, and by the system when the process ends however it ends.
class DestinationLock {
public:
    explicit DestinationLock(const QString& fingerprintPath);
    ~DestinationLock();
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

    /// Tries once, without waiting.
    LockAttempt tryTake();
    bool isHeld() const { return m_held; }
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    // A descriptor, or on Windows a HANDLE, whose invalid value is -1 too.
    static constexpr qintptr kNoFile = -1;
    qintptr m_file = kNoFile;
    bool m_held = false;
};

}  // namespace fotolista
