#pragma once

#include <QFile>
#include <QString>

/// The log of the rows not processed: replaced at each run, one line per row
/// ended by CR LF, UTF-8. A log that cannot be written loses its lines
/// without stopping the run.
class ErrorLog {
public:
    bool open(const QString& path);
    void writeLine(const QString& text);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

private:
    QFile m_file;
};
