#include "core/run/outputguard.h"

namespace fotolista {

void OutputGuard::protectSource(const QString& path, qint64 row)
{
    if (const std::optional<FileIdentity> id = fileIdentity(path); id && !m_sources.contains(*id))
        m_sources.insert(*id, row);
}

void OutputGuard::noteWritten(const QString& path, qint64 row)
{
    if (const std::optional<FileIdentity> id = fileIdentity(path))
        m_written.insert(*id, row);
}

bool OutputGuard::writtenByThisRun(const QString& path) const
{
    const std::optional<FileIdentity> id = fileIdentity(path);
    return id && m_written.contains(*id);
}

std::optional<QString> OutputGuard::refusal(const QStringList& paths) const
{
    for (const QString& path : paths) {
        const std::optional<FileIdentity> id = fileIdentity(path);
        if (!id)
            continue;
        if (const auto source = m_sources.constFind(*id); source != m_sources.constEnd())
            return QStringLiteral("«%1» es la foto original de la fila %2 y no se sobrescribe").arg(path).arg(*source);
        if (const auto written = m_written.constFind(*id); written != m_written.constEnd())
            return QStringLiteral("«%1» ya la ha escrito la fila %2 en este lote y no se sobrescribe")
                .arg(path)
                .arg(*written);
    }
    return std::nullopt;
}

}  // namespace fotolista
