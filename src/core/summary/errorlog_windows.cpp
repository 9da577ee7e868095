#include "core/summary/errorlog.h"

#include "core/base/filesystem.h"
#include "core/base/windowsfiles.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

namespace fotolista {

bool ErrorLog::open(const QString& path)
{
    close();
    m_problem.clear();
    // Not through a link planted at its name: the log would land wherever it
    // points. The reparse point itself is opened, seen and left alone.
    const HANDLE file = ::CreateFileW(widePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_problem = systemErrorText(errnoFromWindowsError(::GetLastError()));
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)
        && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ::CloseHandle(file);
        m_problem = QStringLiteral("es un enlace simbólico");
        return false;
    }
    // Replaced at each run: what an earlier run wrote goes.
    if (!::SetEndOfFile(file)) {
        m_problem = systemErrorText(errnoFromWindowsError(::GetLastError()));
        ::CloseHandle(file);
        return false;
    }
    m_file = reinterpret_cast<qintptr>(file);
    return true;
}

qsizetype ErrorLog::writeSome(const char* data, qsizetype size, int& error)
{
    DWORD written = 0;
    const DWORD chunk = DWORD(std::min<qsizetype>(size, qsizetype(1) << 30));
    if (!::WriteFile(reinterpret_cast<HANDLE>(m_file), data, chunk, &written, nullptr)) {
        error = errnoFromWindowsError(::GetLastError());
        return -1;
    }
    return qsizetype(written);
}

void ErrorLog::close()
{
    if (m_file != kNoFile)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_file));
    m_file = kNoFile;
}

}  // namespace fotolista
