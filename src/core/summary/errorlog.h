#pragma once

#include <QString>

#include <optional>

namespace fotolista {

/// The log of the rows not processed: replaced at each run, one line per row
/// ended by CR LF, UTF-8. A log that cannot be created or written does not
/// stop the run, but says so: the caller tells the user.
class ErrorLog {
public:
    ErrorLog() = default;
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;
    ~ErrorLog() { close(); }

    /// Creates the log anew; a link at its name is not followed. False, with
    /// problem() saying why, when it cannot be created.
    bool open(const QString& path);
    /// False when the line did not reach the file (a full disk, say).
    bool writeLine(const QString& text);
    void close();
    bool isOpen() const { return m_file != kNoFile; }
    /// Why the last open or write failed.
    QString problem() const { return m_problem; }

private:
    // One write of the system's: bytes written, 0 when nothing fitted, or -1
    // with `error` set to an errno value.
    qsizetype writeSome(const char* data, qsizetype size, int& error);

    // A descriptor, or on Windows a HANDLE, whose invalid value is -1 too.
    static constexpr qintptr kNoFile = -1;
    qintptr m_file = kNoFile;
    QString m_problem;
};

/// Why a log could not be created at `path`, found without creating it (so
/// an earlier log stays until a run replaces it); nothing when it can be.
std::optional<QString> logCreationProblem(const QString& path);

}  // namespace fotolista
