#include "ui/watermark/watermarkfolderwindow.h"

#include "core/base/desktopstarts.h"
#include "core/base/uiservices.h"
#include "ui_watermarkfolderwindow.h"

namespace fotolista {

WatermarkFolderWindow::WatermarkFolderWindow(UiServices& services, QString defaultWatermarkFolder, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::agua>())
    , m_services(services)
    , m_defaultWatermarkFolder(std::move(defaultWatermarkFolder))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(m_ui->Command1, &QPushButton::clicked, this, &WatermarkFolderWindow::accept);
    connect(m_ui->Command2, &QPushButton::clicked, this, &WatermarkFolderWindow::browseDefaultFolder);
}

WatermarkFolderWindow::~WatermarkFolderWindow() = default;

void WatermarkFolderWindow::accept()
{
    // Nothing is checked: a folder without watermark pictures is taken as well.
    emit folderAccepted(m_ui->picker->openFolder());
    hide();
}

void WatermarkFolderWindow::browseDefaultFolder()
{
    // Always the default folder, whatever the lists show; a desktop without a
    // file browser simply shows nothing, as the main window's browse does.
    browseFolder(m_services, m_defaultWatermarkFolder);
}

}  // namespace fotolista
