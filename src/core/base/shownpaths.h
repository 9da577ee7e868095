#pragma once

#include <QDir>
#include <QString>

namespace fotolista {

/// The separator of the paths the user reads, and that the system's own
/// programs take: "\" on Windows, "/" elsewhere. File calls keep "/", which
/// Qt takes everywhere.
inline QChar shownSeparator()
{
    return QDir::separator();
}

/// `path` as the user reads it: each "/" written as `separator`.
inline QString shownPath(QString path, QChar separator = shownSeparator())
{
    return path.replace(QLatin1Char('/'), separator);
}

}  // namespace fotolista
