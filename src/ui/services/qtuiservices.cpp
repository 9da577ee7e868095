#include "ui/services/qtuiservices.h"

#include "core/base/filefilter.h"
#include "ui/services/programstart.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

namespace fotolista {

QtUiServices::QtUiServices(QWidget* parent) : m_parent(parent) {}

MessageAnswer QtUiServices::showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                                        const QString& title)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None: boxIcon = QMessageBox::NoIcon; break;
    case MessageIcon::Critical: boxIcon = QMessageBox::Critical; break;
    case MessageIcon::Warning: boxIcon = QMessageBox::Warning; break;
    }
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    switch (buttons) {
    case MessageButtons::Ok: standard = QMessageBox::Ok; break;
    case MessageButtons::YesNo: standard = QMessageBox::Yes | QMessageBox::No; break;
    }
    QMessageBox box(boxIcon, title.isEmpty() ? programTitle() : title, text, standard, m_parent);
    const int pressed = box.exec();
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    return MessageAnswer::Ok;
}

QString QtUiServices::askText(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title.isEmpty() ? programTitle() : title, prompt,
                                                 QLineEdit::Normal, QString(), &ok);
    return ok ? answer : QString();
}

FileChoice QtUiServices::chooseFileToOpen(const QString& title, const QString& filter)
{
    QFileDialog dialog(m_parent, title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(toQtNameFilters(filter));
    if (dialog.exec() != QDialog::Accepted)
        return FileChoice::cancelled();
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return FileChoice::cancelled();
    const QFileInfo info(files.constFirst());
    if (!info.isFile() || !info.isReadable())
        return FileChoice::failed(QStringLiteral("No se puede leer el archivo %1").arg(info.absoluteFilePath()));
    return FileChoice::chosen(info.absoluteFilePath());
}

FileChoice QtUiServices::chooseFileToSave(const QString& title, const QString& filter, const QString& suffix)
{
    QFileDialog dialog(m_parent, title);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(toQtNameFilters(filter));
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return FileChoice::cancelled();
    return FileChoice::chosen(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
}

bool QtUiServices::startProgram(const QString& program, const QStringList& arguments, WindowMode mode)
{
    return startDetachedProgram(program, arguments, mode);
}

bool QtUiServices::openWithDesktop(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtUiServices::yieldToUser()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtUiServices::waitUntil(const std::function<bool()>& ready)
{
    if (ready())
        return;
    // A short poll keeps the window answering without spinning a core.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (ready())
            loop.quit();
    });
    poll.start(4);
    loop.exec();
}

}  // namespace fotolista
