#include "cli/batchcommand.h"
#include "core/base/safewrite.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace fotolista;

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

int main(int argc, char* argv[])
{
    // The watermark maker draws with the system's fonts, which need Qt Gui;
    // it shows nothing, so it draws off screen.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "watermark") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // A file-size limit must make the write fail, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    QTextStream out(stdout);
    QTextStream err(stderr);
    return runBatchCommand(QCoreApplication::arguments().mid(1), QCoreApplication::applicationDirPath(), out, err,
                           ::isatty(STDERR_FILENO) == 1);
}
