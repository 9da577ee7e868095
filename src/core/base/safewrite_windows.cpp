#include "core/base/safewrite.h"

#include "core/base/safewrite_detail.h"
#include "core/base/windowsfiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <windows.h>

namespace fotolista {

namespace {

bool writeAll(HANDLE file, const char* data, qsizetype size)
{
    while (size > 0) {
        const DWORD chunk = DWORD(std::min<qsizetype>(size, qsizetype(1) << 30));
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= qsizetype(written);
    }
    return true;
}

/// Whether what stands at `path`, if anything, may be replaced: the move
/// would replace a file the user made read-only, so its attribute decides.
/// A link (any reparse point) is replaced itself, and what it points to is
/// left alone, so only the link counts.
bool mayReplace(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return true;  // nothing there (or the write fails by itself), or a link
    return (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

/// A new hidden file in `folder`: CREATE_NEW fails on a name already taken,
/// and with FILE_FLAG_OPEN_REPARSE_POINT a link planted there counts as
/// taken instead of being followed; a taken name means another name.
HANDLE createTemporary(const QString& folder, const std::function<QByteArray()>& nextName, QString& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + QString::fromLatin1(nextName());
        const HANDLE file = ::CreateFileW(widePath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

/// The finished file is no longer hidden: the attribute would go with it
/// to the target's name. Set on the handle, so it is this very file.
bool unhide(HANDLE file)
{
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // times left at 0: unchanged
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

}  // namespace

bool writeFileSafely(const QString& path, QByteArrayView bytes, const std::function<QByteArray()>& nextName)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const std::wstring finalName = widePath(info.absoluteFilePath());
    if (!mayReplace(finalName)) {
        errno = EACCES;
        return false;
    }
    QString tempName;
    const HANDLE file = createTemporary(info.absolutePath() + QLatin1Char('/'), nextName, tempName);
    if (file == INVALID_HANDLE_VALUE) {
        errno = errnoFromWindowsError(::GetLastError());
        return false;
    }
    const std::wstring wideTemp = widePath(tempName);
    const safewrite_detail::WriteInProgress inProgress(QDir::toNativeSeparators(tempName).toUtf8());
    bool ok = writeAll(file, bytes.data(), bytes.size()) && unhide(file);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    if (!::CloseHandle(file) && ok) {
        ok = false;
        error = ::GetLastError();
    }
    if (ok && !::MoveFileExW(wideTemp.c_str(), finalName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(wideTemp.c_str());
        errno = errnoFromWindowsError(error);
    }
    return ok;
}

}  // namespace fotolista
