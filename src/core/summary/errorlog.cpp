#include "core/summary/errorlog.h"

bool ErrorLog::open(const QString& path)
{
    close();
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void ErrorLog::writeLine(const QString& text)
{
    if (!m_file.isOpen())
        return;
    m_file.write(text.toUtf8() + "\r\n");
    // Each line reaches the disk at once, so it survives whatever ends the run.
    m_file.flush();
}

void ErrorLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}
