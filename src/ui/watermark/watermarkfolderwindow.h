#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class agua;
}

namespace fotolista {

class UiServices;

/// Chooses the folder the run takes its watermark pictures from. Its button
/// hands on the open folder and hides the window, which keeps its place for
/// the next showing; the close box destroys it.
class WatermarkFolderWindow : public QWidget {
    Q_OBJECT

public:
    /// `services` opens the default folder in the file browser; it must
    /// outlive the window.
    WatermarkFolderWindow(UiServices& services, QString defaultWatermarkFolder, QWidget* parent = nullptr);
    ~WatermarkFolderWindow() override;

signals:
    /// The open folder, when the user takes it; the window is hidden right after.
    void folderAccepted(const QString& path);

private:
    void accept();
    void browseDefaultFolder();

    std::unique_ptr<Ui::agua> m_ui;
    UiServices& m_services;
    QString m_defaultWatermarkFolder;
};

}  // namespace fotolista
