#include "core/base/caseblindfinder.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace fotolista {

QString caseBlindKey(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

const CaseBlindFinder::Listing& CaseBlindFinder::listing(const QString& folder)
{
    auto it = m_folders.find(folder);
    if (it != m_folders.end())
        return *it;
    Listing l;
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        const QString name = e.fileName();
        const QString folded = caseBlindKey(name);
        if (e.isDir()) {
            l.folders.insert(folded, name);
            l.exactFolders.insert(name, true);
        } else if (e.isFile()) {
            l.files.insert(folded, name);
            l.exactFiles.insert(name, true);
        }
    }
    return *m_folders.insert(folder, std::move(l));
}

std::optional<QString> CaseBlindFinder::findEntry(const QString& folder, const QString& name, bool wantFolder)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return std::nullopt;
    const Listing& l = listing(folder);
    const auto& exact = wantFolder ? l.exactFolders : l.exactFiles;
    if (exact.contains(name))
        return name;
    const auto& folded = wantFolder ? l.folders : l.files;
    const auto hit = folded.constFind(caseBlindKey(name));
    if (hit == folded.constEnd())
        return std::nullopt;
    return *hit;
}

std::optional<QString> CaseBlindFinder::find(const QString& root, const QString& relative)
{
    QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    if (parts.isEmpty())
        return std::nullopt;
    QString folder = root;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const std::optional<QString> sub = findEntry(folder, parts.at(i), true);
        if (!sub)
            return std::nullopt;
        folder += QLatin1Char('/') + *sub;
    }
    const auto present = [&folder](const std::optional<QString>& name) {
        return name && QFileInfo(folder + QLatin1Char('/') + *name).isFile();
    };
    std::optional<QString> file = findEntry(folder, parts.constLast(), false);
    if (file && !present(file)) {
        // Removed since the folder was listed: the folder is read again, so
        // the row goes on as if the file had never been there.
        m_folders.remove(folder);
        file = findEntry(folder, parts.constLast(), false);
    }
    if (!present(file))
        return std::nullopt;
    return folder + QLatin1Char('/') + *file;
}

}  // namespace fotolista
