#include "ui/about/helpwindow.h"

#include "ui_helpwindow.h"

namespace fotolista {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::Form3>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

HelpWindow::~HelpWindow() = default;

}  // namespace fotolista
