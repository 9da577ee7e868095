#include "core/base/fileops.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

qint64 folderSize(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return 0;
    qint64 total = 0;
    // Hidden files count too: they take space like any other.
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo f = it.fileInfo();
        if (f.isFile())
            total += f.size();
    }
    return total;
}

std::optional<qint64> fileSize(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return info.size();
}

QString withForwardSlashes(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text;
}

bool isSafeRelativeName(const QString& text)
{
    const QString path = withForwardSlashes(text);
    if (path.startsWith(QLatin1Char('/')))
        return false;
    // A drive letter ("C:") names another root on the system the workbook came from.
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter())
        return false;
    if (path.contains(QChar(0)))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString& part : parts)
        if (part == QLatin1String(".."))
            return false;
    return true;
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
        const QString folded = name.toCaseFolded();
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
    const auto hit = folded.constFind(name.toCaseFolded());
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
    const std::optional<QString> file = findEntry(folder, parts.constLast(), false);
    if (!file)
        return std::nullopt;
    return folder + QLatin1Char('/') + *file;
}
