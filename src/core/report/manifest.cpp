#include "core/report/manifest.h"

#include "core/base/safewrite.h"
#include "core/report/batchrecord.h"

namespace fotolista {

namespace {

QString kindName(RowFileKind kind)
{
    switch (kind) {
    case RowFileKind::LargeJpeg: return QStringLiteral("grande");
    case RowFileKind::SmallJpeg: return QStringLiteral("pequeña");
    case RowFileKind::LargeWebp: return QStringLiteral("grande webp");
    case RowFileKind::SmallWebp: return QStringLiteral("pequeña webp");
    case RowFileKind::LargeAvif: return QStringLiteral("grande avif");
    case RowFileKind::SmallAvif: return QStringLiteral("pequeña avif");
    case RowFileKind::Marketplace: return QStringLiteral("tiendas");
    }
    return {};
}

QString inside(const QString& folder, const QString& path)
{
    const QString prefix = folder + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

QString line(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& f : fields)
        quoted << csvField(f);
    return quoted.join(QLatin1Char(','));
}

}  // namespace

QString csvField(const QString& text)
{
    const bool plain = !text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
                       && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))
                       && (text.isEmpty() || (!text.front().isSpace() && !text.back().isSpace()));
    if (plain)
        return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QStringList manifestLines(const BatchRecord& record)
{
    QStringList header{QStringLiteral("fila"), QStringLiteral("destino")};
    for (const RowFileKind kind : record.fileKinds()) {
        const QString name = kindName(kind);
        header << name << name + QStringLiteral(" bytes") << name + QStringLiteral(" anchura")
               << name + QStringLiteral(" altura") << name + QStringLiteral(" motivo");
    }
    QStringList lines{line(header)};
    for (const ReportRow& row : record.rows()) {
        QStringList fields{QString::number(row.row), row.report.cells.destinationText};
        for (const RowFileKind kind : record.fileKinds()) {
            const ReportFile* f = row.file(kind);
            if (f && f->bytes)
                fields << inside(record.destinationFolder(), f->path) << QString::number(*f->bytes)
                       << QString::number(f->width) << QString::number(f->height) << QString();
            else
                fields << (f ? inside(record.destinationFolder(), f->path) : QString()) << QString() << QString()
                       << QString() << (f ? f->notWritten : QString());
        }
        lines << line(fields);
    }
    return lines;
}

bool writeManifest(const BatchRecord& record, const QString& path)
{
    QString text;
    for (const QString& l : manifestLines(record))
        text += l + QStringLiteral("\r\n");
    return writeFileSafely(path, text.toUtf8());
}

}  // namespace fotolista
