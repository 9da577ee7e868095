#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace fotolista {

/// Every file a run could find under the source folder, sub-folders
/// included: regular files, not hidden, reached without following links to
/// folders. The destination folder, when it lies inside, is left out: what
/// a run writes is not a source.
class SourceIndex {
public:
    void scan(const QString& sourceFolder, const QString& destinationFolder);

    /// Paths relative to the source folder ("/" between parts), sorted.
    const QStringList& files() const { return m_files; }

    /// Every file whose relative path differs from `relative` only in letter
    /// case, `relative` itself included when it exists.
    QStringList caseTwins(const QString& relative) const;

private:
    void scanFolder(const QString& folder, const QString& prefix, const QString& skipped);

    QStringList m_files;
    QHash<QString, QStringList> m_byFoldedPath;
};

}  // namespace fotolista
