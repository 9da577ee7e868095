#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class Form3;
}

namespace fotolista {

/// A fixed text on what the program does; closed, and destroyed, by its close box.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);
    ~HelpWindow() override;

private:
    std::unique_ptr<Ui::Form3> m_ui;
};

}  // namespace fotolista
