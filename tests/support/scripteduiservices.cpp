#include "support/scripteduiservices.h"

using namespace fotolista;

namespace {
ScriptedUiServices::Call makeCall(ScriptedUiServices::Kind kind, const QString& text, const QString& title)
{
    ScriptedUiServices::Call c;
    c.kind = kind;
    c.text = text;
    c.title = title;
    return c;
}
}  // namespace

MessageAnswer ScriptedUiServices::showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                                              const QString& title)
{
    Call c = makeCall(Kind::Message, text, title);
    c.buttons = buttons;
    c.icon = icon;
    calls << c;
    if (!messageAnswers.isEmpty())
        return messageAnswers.dequeue();
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

QString ScriptedUiServices::askText(const QString& prompt, const QString& title)
{
    calls << makeCall(Kind::Prompt, prompt, title);
    return textAnswers.isEmpty() ? QString() : textAnswers.dequeue();
}

FileChoice ScriptedUiServices::chooseFileToOpen(const QString& title, const QString& filter)
{
    Call c = makeCall(Kind::FileDialog, title, {});
    c.filter = filter;
    calls << c;
    return fileAnswers.isEmpty() ? FileChoice::cancelled() : fileAnswers.dequeue();
}

FileChoice ScriptedUiServices::chooseFileToSave(const QString& title, const QString& filter, const QString& suffix)
{
    Call c = makeCall(Kind::FileDialog, title, {});
    c.filter = filter;
    c.arguments = QStringList{suffix};
    calls << c;
    return fileAnswers.isEmpty() ? FileChoice::cancelled() : fileAnswers.dequeue();
}

bool ScriptedUiServices::startProgram(const QString& program, const QStringList& arguments, WindowMode mode)
{
    Call c = makeCall(Kind::Program, program, {});
    c.arguments = arguments;
    c.mode = mode;
    calls << c;
    return startAnswers.isEmpty() ? true : startAnswers.dequeue();
}

bool ScriptedUiServices::openWithDesktop(const QString& path)
{
    calls << makeCall(Kind::Desktop, path, {});
    return startAnswers.isEmpty() ? true : startAnswers.dequeue();
}

void ScriptedUiServices::yieldToUser()
{
    ++yieldCount;
    calls << makeCall(Kind::Yield, {}, {});
    if (onYield)
        onYield(yieldCount);
}

QList<ScriptedUiServices::Call> ScriptedUiServices::callsOf(Kind kind) const
{
    QList<Call> out;
    for (const Call& c : calls)
        if (c.kind == kind)
            out << c;
    return out;
}

QStringList ScriptedUiServices::messageTexts() const
{
    QStringList out;
    for (const Call& c : callsOf(Kind::Message))
        out << c.text;
    return out;
}
