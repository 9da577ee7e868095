#include "cli/console.h"

#include "cli/batchcommand.h"
#include "core/base/safewrite.h"

#include <atomic>
#include <cstdio>
#include <io.h>
#include <windows.h>

namespace fotolista {

namespace {

std::atomic<bool> g_seen{false};

/// The half-written file, named in UTF-8 by the write; a fixed buffer, as
/// the handler may run while the program's memory is in any state.
void removeWriteInProgress()
{
    const char* temp = writeInProgressPath();
    if (temp[0] == '\0')
        return;
    static wchar_t wide[4096];
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, temp, -1, wide, int(std::size(wide))) > 0)
        ::DeleteFileW(wide);
}

// Windows calls it on a thread of its own, not in the middle of the program's.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const bool askToStop = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (askToStop && !g_seen.exchange(true)) {
        noteInterrupt();
        return TRUE;
    }
    // A second Ctrl-C, or the console closing: stop at once, taking the
    // half-written file along.
    removeWriteInProgress();
    ::ExitProcess(130);
}

}  // namespace

void installInterruptHandlers()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool standardErrorIsTerminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}

void prepareConsoleOutput()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

const char* headlessPlatform()
{
    return "minimal";
}

}  // namespace fotolista
