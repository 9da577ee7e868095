#pragma once

#include <QString>
#include <QStringList>

namespace fotolista {

/// The last jobs opened or saved, newest first: the one thing the program
/// keeps between starts, a list of paths in the user's config folder.
class RecentJobs {
public:
    static constexpr int kMax = 5;

    /// `file` empty: "trabajos-recientes" in the program's config folder.
    explicit RecentJobs(QString file = {});

    QStringList paths() const;
    /// Puts `path` first (once), keeping at most kMax.
    void add(const QString& path);
    void remove(const QString& path);

private:
    void save(const QStringList& paths) const;

    QString m_file;
};

}  // namespace fotolista
