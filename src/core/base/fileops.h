#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

/// Total size in bytes of the regular files in `path` and all its sub-folders;
/// 0 for a folder that is missing or cannot be read.
qint64 folderSize(const QString& path);

/// Size in bytes of a regular file, or nothing when it cannot be measured.
std::optional<qint64> fileSize(const QString& path);

/// Whether a cell text may name a file under a chosen folder: it is read as a
/// path relative to that folder, with "\" (written by workbooks made on other
/// systems) meaning "/". An absolute path or a ".." component would reach
/// outside the folder.
bool isSafeRelativeName(const QString& text);

/// "\" read as "/", as on the system where most workbooks are made.
QString withForwardSlashes(QString text);

/// Finds files by name regardless of letter case, as users of other systems
/// expect: each folder is listed once and kept, so a run over thousands of
/// rows does not list a large folder once per row. An exact-case match wins
/// over a case-blind one. Only regular, non-hidden files (names not starting
/// with ".") are found.
class CaseBlindFinder {
public:
    /// The real path of `root` + "/" + `relative` (separators "/"), or nothing
    /// when no such file exists. Folder components are matched case-blind too.
    std::optional<QString> find(const QString& root, const QString& relative);

    /// Forgets every listing (a new run starts, or files changed).
    void clear() { m_folders.clear(); }

private:
    struct Listing {
        QHash<QString, QString> files;    // folded name -> real name
        QHash<QString, QString> folders;  // folded name -> real name
        QHash<QString, bool> exactFiles;  // real names, for the exact-case win
        QHash<QString, bool> exactFolders;
    };
    const Listing& listing(const QString& folder);
    std::optional<QString> findEntry(const QString& folder, const QString& name, bool wantFolder);

    QHash<QString, Listing> m_folders;
};
