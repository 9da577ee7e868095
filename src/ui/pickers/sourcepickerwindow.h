#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class Formularioorigen;
}

namespace fotolista {

/// The source-folder picker. Its button hands on the open folder and hides
/// the window, which keeps its place for the next showing; the close box
/// destroys it.
class SourcePickerWindow : public QWidget {
    Q_OBJECT

public:
    explicit SourcePickerWindow(QWidget* parent = nullptr);
    ~SourcePickerWindow() override;

signals:
    /// The open folder, when the user takes it; the window is hidden right after.
    void folderChosen(const QString& path);

private:
    void choose();

    std::unique_ptr<Ui::Formularioorigen> m_ui;
};

}  // namespace fotolista
