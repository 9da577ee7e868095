#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace fotolista {

/// Buttons offered by a message box.
enum class MessageButtons { Ok, YesNo };

/// Icon of a message box.
enum class MessageIcon { None, Critical, Warning };

/// Button the user pressed to close a message box.
enum class MessageAnswer { Ok, Yes, No };

/// How a started program shows its window.
enum class WindowMode { NormalWithFocus, NormalWithoutFocus };

/// Outcome of the open-file dialog.
struct FileChoice {
    enum class Status { Chosen, Cancelled, Failed };
    Status status = Status::Cancelled;
    QString path;  ///< full path when Chosen
    QString failure;  ///< the dialog's own description when Failed

    static FileChoice chosen(QString p) { return {Status::Chosen, std::move(p), {}}; }
    static FileChoice cancelled() { return {Status::Cancelled, {}, {}}; }
    static FileChoice failed(QString why) { return {Status::Failed, {}, std::move(why)}; }
};

/// The program's title, shown by boxes that give no title of their own.
inline QString programTitle()
{
    return QStringLiteral("Fotolista");
}

/// What the windows and the batch run need from the desktop: message boxes,
/// text prompts, the open-file dialog, starting other programs and letting
/// pending user events run. The run and the settings rules talk to the user
/// only through this, so they can be driven by a scripted double in tests.
class UiServices {
public:
    virtual ~UiServices() = default;

    /// Modal box; an empty title shows the program's title.
    virtual MessageAnswer showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                                      const QString& title = {}) = 0;

    /// One-line prompt, empty at first. Cancel and OK on an empty field both give "".
    virtual QString askText(const QString& prompt, const QString& title = {}) = 0;

    /// `filter` is a list of name/pattern pairs, each part followed by "|".
    virtual FileChoice chooseFileToOpen(const QString& title, const QString& filter) = 0;
    /// The save dialog; `suffix` is added to a name typed without one.
    virtual FileChoice chooseFileToSave(const QString& title, const QString& filter, const QString& suffix) = 0;

    /// Starts a program without waiting for it; false when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments, WindowMode mode) = 0;

    /// Shows a folder or a file with the desktop's own viewer (file browser,
    /// text viewer) without waiting; false when nothing could be started.
    virtual bool openWithDesktop(const QString& path) = 0;

    /// Lets every pending user-interface event run, then returns.
    virtual void yieldToUser() = 0;

    /// Waits until `ready` holds, for work done on another thread. The window
    /// keeps answering meanwhile; this is not one of the run's yield points.
    virtual void waitUntil(const std::function<bool()>& ready);
};

}  // namespace fotolista
