#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class FolderPicker;
}

namespace fotolista {

/// A drive list over a folder list. The drives are the mounted volumes; the
/// folder list shows the sub-folders of the open folder, and a double-click
/// (or Return) opens one. What a picker hands on is the open folder, never a
/// merely highlighted entry. Used by every folder-picker window.
class FolderPicker : public QWidget {
    Q_OBJECT

public:
    /// Starts at the current working folder and its volume.
    explicit FolderPicker(QWidget* parent = nullptr);
    ~FolderPicker() override;

    /// Absolute, clean path of the open folder: no trailing "/" except for "/" itself.
    QString openFolder() const { return m_openFolder; }

    /// Opens `path` as a double-click on its entry would. A folder that cannot
    /// be read is not opened: false, and nothing changes.
    bool openFolderPath(const QString& path);

    /// Opens the root of a volume, as choosing it in the drive list does. When
    /// it cannot be read, the drive list goes back to the open folder's volume
    /// and the open folder stays: false.
    bool changeDrive(const QString& rootPath);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillDrives();
    void selectDriveOf(const QString& path);
    void fillFolders();
    void showOpenFolderPath();
    void openEntry(int row);

    std::unique_ptr<Ui::FolderPicker> m_ui;
    QString m_openFolder;
};

}  // namespace fotolista
