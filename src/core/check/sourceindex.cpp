#include "core/check/sourceindex.h"

#include "core/base/caseblindfinder.h"

#include <QDir>
#include <QFileInfo>

namespace fotolista {

void SourceIndex::scan(const QString& sourceFolder, const QString& destinationFolder)
{
    m_files.clear();
    m_byFoldedPath.clear();
    const QString skipped = QFileInfo(destinationFolder).canonicalFilePath();
    if (QFileInfo(sourceFolder).canonicalFilePath() == skipped)
        return;
    scanFolder(sourceFolder, QString(), skipped);
    m_files.sort();
    for (QStringList& twins : m_byFoldedPath)
        twins.sort();
}

void SourceIndex::scanFolder(const QString& folder, const QString& prefix, const QString& skipped)
{
    // Without QDir::Hidden: names starting with "." are not listed, as the
    // run does not find them.
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString relative = prefix + entry.fileName();
        if (entry.isDir()) {
            if (!entry.isSymLink() && entry.canonicalFilePath() != skipped)
                scanFolder(entry.filePath(), relative + QLatin1Char('/'), skipped);
        } else if (entry.isFile()) {
            m_files.append(relative);
            m_byFoldedPath[caseBlindKey(relative)].append(relative);
        }
    }
}

QStringList SourceIndex::caseTwins(const QString& relative) const
{
    return m_byFoldedPath.value(caseBlindKey(relative));
}

}  // namespace fotolista
