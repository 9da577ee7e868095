#include "ui/pickers/sourcepickerwindow.h"

#include "ui_sourcepickerwindow.h"

namespace fotolista {

SourcePickerWindow::SourcePickerWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::Formularioorigen>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(m_ui->Command1, &QPushButton::clicked, this, &SourcePickerWindow::choose);
}

SourcePickerWindow::~SourcePickerWindow() = default;

void SourcePickerWindow::choose()
{
    emit folderChosen(m_ui->picker->openFolder());
    hide();
}

}  // namespace fotolista
