#include "core/run/destinationlock.h"

#include "core/base/windowsfiles.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace fotolista {

DestinationLock::DestinationLock(const QString& fingerprintPath) : m_path(fingerprintPath + QStringLiteral(".lock")) {}

DestinationLock::~DestinationLock()
{
    // Closing the handle releases the lock.
    if (m_file != kNoFile)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_file));
}

LockAttempt DestinationLock::tryTake()
{
    if (m_held)
        return LockAttempt::Taken;
    if (m_file == kNoFile) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        // Never through a link: the reparse point itself would be opened, and
        // is refused. Others may open the file too, or they could not ask.
        const HANDLE file = ::CreateFileW(widePath(m_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return LockAttempt::Unavailable;
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)
            || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            ::CloseHandle(file);
            return LockAttempt::Unavailable;
        }
        m_file = reinterpret_cast<qintptr>(file);
    }
    // The lock belongs to this handle, so two runs in one process exclude
    // each other too; the first byte stands for the whole file.
    OVERLAPPED at{};
    if (::LockFileEx(reinterpret_cast<HANDLE>(m_file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &at)) {
        m_held = true;
        return LockAttempt::Taken;
    }
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? LockAttempt::Busy : LockAttempt::Unavailable;
}

}  // namespace fotolista
