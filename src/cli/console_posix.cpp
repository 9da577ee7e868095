#include "cli/console.h"

#include "cli/batchcommand.h"
#include "core/base/safewrite.h"

#include <csignal>
#include <unistd.h>

namespace fotolista {

namespace {

volatile std::sig_atomic_t g_seen = 0;

extern "C" void onInterrupt(int)
{
    if (g_seen) {
        // Second Ctrl-C: stop at once, taking the half-written file along.
        const char* temp = writeInProgressPath();
        if (temp[0] != '\0')
            ::unlink(temp);
        ::_exit(130);
    }
    g_seen = 1;
    noteInterrupt();
}

}  // namespace

void installInterruptHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void prepareConsoleOutput()
{
    // Terminals here take the locale's encoding, UTF-8 on every current system.
}

const char* headlessPlatform()
{
    return "offscreen";
}

}  // namespace fotolista
