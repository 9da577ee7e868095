#include "core/base/processsetup.h"
#include "core/image/bitmap.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/services/qttranslation.h"
#include "ui/services/qtuiservices.h"
#include "ui/services/toneplayer.h"

#include <QApplication>
#include <QTimer>

using namespace fotolista;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fotolista"));
    // Qt's own buttons and dialogs in the user's language, as the rest of the window.
    const auto qtTexts = installQtTranslation(QLocale());
    // A file-size limit must make a write fail, not end the program.
    ignoreFileSizeLimitSignal();
    initialiseImageLibrary();

    QtUiServices services;
    TonePlayer tones;
    MainWindow window(services, tones, QCoreApplication::applicationDirPath());
    services.setParentWindow(&window);
    window.show();
    // A job given on the command line or opened from the file manager comes
    // after the start, over the start state.
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString& job : arguments)
        QTimer::singleShot(0, &window, [&window, job] { window.openJob(job); });
    return app.exec();
}
