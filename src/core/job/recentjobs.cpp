#include "core/job/recentjobs.h"

#include "core/job/jobfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fotolista {

RecentJobs::RecentJobs(QString file)
    : m_file(file.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                                  + QStringLiteral("/trabajos-recientes")
                            : std::move(file))
{
}

QStringList RecentJobs::paths() const
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A damaged list gives what it can: at most kMax absolute paths.
    QStringList out;
    for (const QByteArray& line : file.read(64 * 1024).split('\n')) {
        const QString path = QString::fromUtf8(line);
        if (!path.isEmpty() && QDir::isAbsolutePath(path) && !out.contains(path) && out.size() < kMax)
            out << path;
    }
    return out;
}

void RecentJobs::add(const QString& path)
{
    QStringList list = paths();
    list.removeAll(path);
    list.prepend(QFileInfo(path).absoluteFilePath());
    save(list.mid(0, kMax));
}

void RecentJobs::remove(const QString& path)
{
    QStringList list = paths();
    if (list.removeAll(path) > 0)
        save(list);
}

void RecentJobs::save(const QStringList& paths) const
{
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    // The list is a convenience: a list that cannot be written is left as it was.
    writeJobFile(m_file, (paths.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(), nullptr);
}

}  // namespace fotolista
