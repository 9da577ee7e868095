#pragma once

#include <QPushButton>

namespace fotolista {

/// A push button whose caption wraps onto several lines, as the main window's
/// tall, narrow buttons need.
class WrapButton : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace fotolista
