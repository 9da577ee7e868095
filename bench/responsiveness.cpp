// Measures how long the main window's event loop goes unanswered during a
// run: a 5 ms timer notes the largest gap between its ticks.
//
//   fotolista_responsiveness LIBRO.xls FUENTE DESTINO [--fast]
#include "core/image/bitmap.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/services/qtuiservices.h"
#include "ui/services/toneplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

using namespace fotolista;

namespace {
class SilentTones : public TonePlayer {
public:
    void playCompletionTones() override {}
};
}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "uso: %s LIBRO.xls FUENTE DESTINO [--fast]\n", argv[0]);
        return 2;
    }
    initialiseImageLibrary();
    QtUiServices services;
    SilentTones tones;
    MainWindow window(services, tones, QCoreApplication::applicationDirPath());
    services.setParentWindow(&window);
    window.settings().restoreRunDefaults();
    window.settings().setWorkbookPath(QString::fromLocal8Bit(argv[1]));
    window.settings().setSourceFolder(QString::fromLocal8Bit(argv[2]));
    window.settings().setDestinationFolder(QString::fromLocal8Bit(argv[3]));
    if (argc > 4 && QByteArray(argv[4]) == "--fast")
        window.settings().setFastRead(true);
    window.show();

    QElapsedTimer sinceTick;
    qint64 worst = 0;
    qint64 ticks = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            worst = std::max(worst, sinceTick.elapsed());
        sinceTick.start();
        ++ticks;
    });
    probe.start(5);
    QElapsedTimer total;
    QTimer::singleShot(50, [&] {
        total.start();
        window.startRun();
        std::printf("run: %.1f s, %lld ticks, worst gap between ticks: %lld ms\n", total.elapsed() / 1000.0, ticks,
                    worst);
        QCoreApplication::exit(0);
    });
    return app.exec();
}
