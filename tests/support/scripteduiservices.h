#pragma once

#include "core/base/uiservices.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

using namespace fotolista;

/// A UiServices double: records every call and answers from queues, so a test
/// can script the user and check what was shown, in which order.
class ScriptedUiServices final : public UiServices {
public:
    enum class Kind { Message, Prompt, FileDialog, Program, Desktop, Yield };

    struct Call {
        Kind kind = Kind::Message;
        QString text;  ///< message text, prompt, dialog title, program or path
        QString title;  ///< title as passed (empty when the caller gave none)
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
        QString filter;
        QStringList arguments;
        WindowMode mode = WindowMode::NormalWithFocus;
    };

    MessageAnswer showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                              const QString& title = {}) override;
    QString askText(const QString& prompt, const QString& title = {}) override;
    FileChoice chooseFileToOpen(const QString& title, const QString& filter) override;
    FileChoice chooseFileToSave(const QString& title, const QString& filter, const QString& suffix) override;
    bool startProgram(const QString& program, const QStringList& arguments, WindowMode mode) override;
    bool openWithDesktop(const QString& path) override;
    void yieldToUser() override;

    // Answers, taken in order. An empty queue answers OK/Yes, "" (Cancel),
    // a cancelled dialog and a successful start.
    QQueue<MessageAnswer> messageAnswers;
    QQueue<QString> textAnswers;
    QQueue<FileChoice> fileAnswers;
    QQueue<bool> startAnswers;

    /// Runs inside every yield, with the number of the yield (1 for the first):
    /// lets a test press a button or change a setting mid-run.
    std::function<void(int)> onYield;

    QList<Call> calls;
    int yieldCount = 0;

    /// The calls of one kind, in order.
    QList<Call> callsOf(Kind kind) const;
    /// Texts of the message boxes shown, in order.
    QStringList messageTexts() const;
};
