#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class Acercade;
}

namespace fotolista {

class Registry;
class UiServices;

/// The About window: title, version, what the program does, and a button that
/// starts the system-information tool. "Aceptar" and the close box both
/// destroy it; the next opening builds it again.
class AboutWindow : public QWidget {
    Q_OBJECT

public:
    /// `services` starts the tool or shows why it cannot; `registry` is
    /// searched for the tool first. Both must outlive the window.
    AboutWindow(UiServices& services, Registry& registry, QWidget* parent = nullptr);
    ~AboutWindow() override;

private:
    void startSystemInformation();

    std::unique_ptr<Ui::Acercade> m_ui;
    UiServices& m_services;
    Registry& m_registry;
};

}  // namespace fotolista
