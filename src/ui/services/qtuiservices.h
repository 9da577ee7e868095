#pragma once

#include "core/base/uiservices.h"

#include <QPointer>

class QWidget;

namespace fotolista {

/// The desktop's own message boxes, prompts and dialogs, parented to a window.
class QtUiServices final : public UiServices {
public:
    explicit QtUiServices(QWidget* parent = nullptr);

    void setParentWindow(QWidget* parent) { m_parent = parent; }

    MessageAnswer showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                              const QString& title = {}) override;
    QString askText(const QString& prompt, const QString& title = {}) override;
    FileChoice chooseFileToOpen(const QString& title, const QString& filter) override;
    FileChoice chooseFileToSave(const QString& title, const QString& filter, const QString& suffix) override;
    bool startProgram(const QString& program, const QStringList& arguments, WindowMode mode) override;
    bool openWithDesktop(const QString& path) override;
    void yieldToUser() override;
    void waitUntil(const std::function<bool()>& ready) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace fotolista
