#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace fotolista {

/// The form in which two names are the same to a user: composed the same
/// way (a Mac writes "ñ" as n and a combining tilde, a keyboard as one
/// letter) and regardless of letter case.
QString caseBlindKey(const QString& name);

/// Finds files by name regardless of letter case and of how accented letters
/// are composed, as users of other systems
/// expect: each folder is listed once and kept, so a run over thousands of
/// rows does not list a large folder once per row. An exact-case match wins
/// over a case-blind one. Only regular, non-hidden files (names not starting
/// with ".") are found. A file is looked at once more when it is found, so
/// one removed after the listing is not found.
class CaseBlindFinder {
public:
    /// The real path of `root` + "/" + `relative` (separators "/"), or nothing
    /// when no such file exists. Folder components are matched case-blind too.
    std::optional<QString> find(const QString& root, const QString& relative);

private:
    struct Listing {
        QHash<QString, QString> files;  // folded name -> real name
        QHash<QString, QString> folders;  // folded name -> real name
        QHash<QString, bool> exactFiles;  // real names, for the exact-case win
        QHash<QString, bool> exactFolders;
    };
    const Listing& listing(const QString& folder);
    std::optional<QString> findEntry(const QString& folder, const QString& name, bool wantFolder);

    QHash<QString, Listing> m_folders;
};

}  // namespace fotolista
