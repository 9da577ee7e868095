#include "cli/batchcommand.h"
#include "cli/console.h"
#include "core/base/processsetup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <cstring>
#include <memory>

using namespace fotolista;

int main(int argc, char* argv[])
{
    // The watermark maker draws with the system's fonts, which need Qt Gui;
    // it shows nothing, so it draws without a display.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "watermark") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", headlessPlatform());
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // A file-size limit must make the write fail, not kill the program.
    ignoreFileSizeLimitSignal();
    installInterruptHandlers();
    prepareConsoleOutput();

    QTextStream out(stdout);
    QTextStream err(stderr);
    return runBatchCommand(QCoreApplication::arguments().mid(1), QCoreApplication::applicationDirPath(), out, err,
                           standardErrorIsTerminal());
}
