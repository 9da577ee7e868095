#pragma once

#include "support/examplebatch.h"
#include "support/scripteduiservices.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/services/toneplayer.h"

#include <QDir>

#include <memory>

using namespace fotolista;

/// Counts the completion tones instead of playing them.
class CountingTones : public TonePlayer {
public:
    void playCompletionTones() override { ++count; }
    int count = 0;
};

/// A main window with scripted services, in a temporary working folder
/// holding a copy of the example batch.
struct MainWindowRig : ExampleBatch {
    QString previousFolder = QDir::currentPath();
    ScriptedUiServices ui;
    CountingTones tones;
    std::unique_ptr<MainWindow> window;

    MainWindowRig()
    {
        QDir::setCurrent(dir.path());
        // The recent jobs are kept in the rig's folder, not the user's.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
        // And the fingerprints of its runs.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
        window = std::make_unique<MainWindow>(ui, tones, QStringLiteral(FOTOLISTA_SOURCE_DIR));
    }
    ~MainWindowRig()
    {
        window.reset();
        QDir::setCurrent(previousFolder);
    }
};
