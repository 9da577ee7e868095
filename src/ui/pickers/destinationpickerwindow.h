#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class formulariodestino;
}

namespace fotolista {

class UiServices;

/// The destination-folder picker: like the source picker, plus a button that
/// creates a sub-folder of the open folder.
class DestinationPickerWindow : public QWidget {
    Q_OBJECT

public:
    /// `services` asks for the name of a new folder; it must outlive the window.
    explicit DestinationPickerWindow(UiServices& services, QWidget* parent = nullptr);
    ~DestinationPickerWindow() override;

signals:
    /// The open folder, when the user takes it; the window is hidden right after.
    void folderChosen(const QString& path);

private:
    void choose();
    void createFolder();

    std::unique_ptr<Ui::formulariodestino> m_ui;
    UiServices& m_services;
};

}  // namespace fotolista
