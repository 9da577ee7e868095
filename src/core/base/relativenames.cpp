#include "core/base/relativenames.h"

#include "core/base/filesystem.h"

#include <QStringList>

namespace fotolista {

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
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i] == QLatin1String(".."))
            return false;
        // A device or a stream of another file: the write would land elsewhere.
        const std::optional<NameRefusal> refusal = systemNameRefusal(parts[i], i + 1 < parts.size());
        if (refusal && refusal->leavesFolder)
            return false;
    }
    return true;
}

}  // namespace fotolista
