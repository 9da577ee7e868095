#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class CheckForm;
}

namespace fotolista {

struct CheckResult;

/// The findings of "Comprobar el lote...": one line per finding in a table
/// the user sorts by any column, problems in red, and the count of rows,
/// problems and notes above it. "Aceptar" hides it; the close box destroys it.
class CheckWindow : public QWidget {
    Q_OBJECT

public:
    explicit CheckWindow(QWidget* parent = nullptr);
    ~CheckWindow() override;

    /// Shows `result` in place of what the window held, in workbook order.
    void showResult(const CheckResult& result);

private:
    std::unique_ptr<Ui::CheckForm> m_ui;
};

}  // namespace fotolista
