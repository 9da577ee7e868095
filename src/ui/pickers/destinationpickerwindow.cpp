#include "ui/pickers/destinationpickerwindow.h"

#include "core/base/uiservices.h"
#include "ui_destinationpickerwindow.h"

#include <QDir>

namespace fotolista {

DestinationPickerWindow::DestinationPickerWindow(UiServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::formulariodestino>()), m_services(services)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(m_ui->Command1, &QPushButton::clicked, this, &DestinationPickerWindow::choose);
    connect(m_ui->Command2, &QPushButton::clicked, this, &DestinationPickerWindow::createFolder);
}

DestinationPickerWindow::~DestinationPickerWindow() = default;

void DestinationPickerWindow::choose()
{
    emit folderChosen(m_ui->picker->openFolder());
    hide();
}

void DestinationPickerWindow::createFolder()
{
    const QString name =
        m_services.askText(QStringLiteral("Introduzca el directorio a crear:"), QStringLiteral("Directorio"));
    if (name.isEmpty())
        return;
    // One level, the name as typed. A failure (the folder exists, the name is
    // not allowed, a folder on the way is missing, no rights) is ignored: the
    // picker stays as it was. A new folder is opened in the list, so the
    // select button takes it; nothing is chosen until the user presses it.
    const QString path = m_ui->picker->openFolder() + QLatin1Char('/') + name;
    if (QDir().mkdir(path))
        m_ui->picker->openFolderPath(path);
}

}  // namespace fotolista
