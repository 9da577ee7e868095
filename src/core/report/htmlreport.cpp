#include "core/report/htmlreport.h"

#include "core/base/safewrite.h"
#include "core/report/batchrecord.h"
#include "core/report/htmltext.h"
#include "core/report/picturesnippet.h"
#include "core/summary/summarytexts.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <QTextStream>

#include <map>

namespace fotolista {

namespace {

// One column of cards on a phone, a grid of them on wider screens; on a
// phone the settings put each name above its value.
const char* const kStyle =
    "body{margin:0;padding:12px;font:15px/1.4 'DejaVu Sans',Arial,sans-serif;color:#222;background:#f4f4f4}"
    "h1{font-size:1.4em;margin:0 0 8px}h2{font-size:1.1em;margin:16px 0 8px}"
    ".cab{background:#fff;border:1px solid #ccc;border-radius:6px;padding:8px 12px}"
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:2px 12px;margin:0}"
    "dt{color:#555}dd{margin:0;min-width:0;overflow-wrap:anywhere}"
    ".tot{display:flex;flex-wrap:wrap;gap:6px;margin:8px 0;padding:0;list-style:none}"
    ".tot li{background:#fff;border:1px solid #ccc;border-radius:4px;padding:2px 8px}"
    ".tot .mal{border-color:#c00;color:#c00;font-weight:bold}"
    ".problemas{background:#fff0f0;border:1px solid #c00;border-radius:6px;margin:0;padding:8px 12px 8px 28px;"
    "color:#900;overflow-wrap:anywhere}"
    ".filas{display:grid;grid-template-columns:repeat(auto-fill,minmax(300px,1fr));gap:8px}"
    ".fila{display:flex;gap:10px;background:#fff;border:1px solid #ccc;border-radius:6px;padding:8px}"
    ".fila.no{border:2px solid #c00;background:#fff0f0}"
    ".foto{flex:0 0 145px;max-width:40%}.foto img{display:block;max-width:100%;height:auto;border:1px solid #ddd}"
    ".sinfoto{display:flex;align-items:center;justify-content:center;min-height:80px;border:1px dashed #c00;"
    "color:#c00;font-size:.85em;text-align:center}"
    ".datos{min-width:0;overflow-wrap:anywhere}.datos p{margin:2px 0}.datos ul{margin:4px 0;padding-left:18px}"
    ".nombre{font-weight:bold}"
    ".t{white-space:pre-wrap;background:#e8e8e8;border-radius:3px;padding:0 3px;"
    "font-family:'DejaVu Sans Mono',monospace;font-size:.9em}"
    ".html{white-space:pre-wrap;overflow-wrap:anywhere;background:#f8f8f8;border:1px solid #ddd;padding:4px;"
    "font-size:.8em;user-select:all}"
    ".vacia{color:#777;font-style:italic}.motivo{color:#c00;font-weight:bold}.problema{color:#c00}.num{color:#555;font-"
    "size:.85em}"
    "@media(max-width:480px){dl{grid-template-columns:1fr}dd{margin-bottom:4px}}";

/// A cell or file text, blanks kept and visible; an empty one said so.
QString shownText(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("<span class=\"vacia\">(vacía)</span>");
    return QStringLiteral("<span class=\"t\">") + htmlText(text) + QStringLiteral("</span>");
}

QString fileKindName(RowFileKind kind)
{
    switch (kind) {
    case RowFileKind::LargeJpeg: return QStringLiteral("JPEG grande");
    case RowFileKind::SmallJpeg: return QStringLiteral("JPEG pequeña");
    case RowFileKind::LargeWebp: return QStringLiteral("WebP grande");
    case RowFileKind::SmallWebp: return QStringLiteral("WebP pequeña");
    case RowFileKind::LargeAvif: return QStringLiteral("AVIF grande");
    case RowFileKind::SmallAvif: return QStringLiteral("AVIF pequeña");
    case RowFileKind::Marketplace: return QStringLiteral("Copia para tiendas");
    }
    return {};
}

QString inside(const QString& folder, const QString& path)
{
    const QString prefix = folder + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

/// The page, written piece by piece into its file.
class ReportWriter {
public:
    ReportWriter(const BatchRecord& record, const QString& path, QTextStream& out);
    void write();

private:
    void writeHead();
    void writeSettings();
    void writeTotals();
    void writeProblems();
    void writeRow(const ReportRow& row);
    void writeRowProblems(qint64 row);
    /// The companions' sizes or why they are missing, and the <picture>
    /// element for the shop's page.
    void writeCompanions(const ReportRow& row);
    QString thumbnail(const ReportRow& row) const;

    const BatchRecord& m_record;
    QString m_pageFolder;
    QTextStream& m_out;
    std::multimap<qint64, const Finding*> m_problemsByRow;
};

ReportWriter::ReportWriter(const BatchRecord& record, const QString& path, QTextStream& out)
    : m_record(record), m_pageFolder(QFileInfo(path).absolutePath()), m_out(out)
{
    for (const Finding& f : m_record.check().findings)
        if (isProblem(f.kind))
            m_problemsByRow.emplace(f.row, &f);
}

void ReportWriter::write()
{
    writeHead();
    writeSettings();
    writeTotals();
    writeProblems();
    m_out << "<h2>Filas</h2>\n<div class=\"filas\">\n";
    for (const ReportRow& row : m_record.rows())
        writeRow(row);
    m_out << "</div>\n</body>\n</html>\n";
}

void ReportWriter::writeHead()
{
    const QString workbook = QFileInfo(m_record.workbookPath()).fileName();
    m_out << "<!DOCTYPE html>\n<html lang=\"es\">\n<head>\n<meta charset=\"utf-8\" />\n"
          << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\" />\n"
          << "<title>Informe del lote " << htmlText(workbook) << "</title>\n"
          << "<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>Informe del lote</h1>\n";
}

void ReportWriter::writeSettings()
{
    m_out << "<div class=\"cab\"><dl>\n";
    for (const ReportSetting& s : m_record.settings())
        m_out << "<dt>" << htmlText(s.name) << "</dt><dd>" << htmlText(s.value) << "</dd>\n";
    m_out << "<dt>Empezado</dt><dd>" << htmlText(QLocale().toString(m_record.started(), QLocale::ShortFormat))
          << "</dd>\n<dt>Final</dt><dd>";
    switch (m_record.end().value_or(RunEnd::Stopped)) {
    case RunEnd::Completed:
        if (m_record.rowsLeftAfterStop() > 0)
            m_out << "<span class=\"motivo\">"
                  << htmlText(QStringLiteral("terminado en la fila vacía %1: debajo quedan %2 filas con datos sin "
                                             "procesar")
                                  .arg(m_record.stopRow())
                                  .arg(m_record.rowsLeftAfterStop()))
                  << "</span>";
        else
            m_out << "completo";
        break;
    case RunEnd::Stopped: m_out << "detenido con «cancelar»: faltan las filas siguientes"; break;
    case RunEnd::Refused:
    case RunEnd::WorkbookUnreadable:
    case RunEnd::DestinationBusy: m_out << "no empezó"; break;
    }
    m_out << "</dd>\n";
    if (!m_record.logProblem().isEmpty())
        m_out << "<dt>Registro de errores</dt><dd><span class=\"motivo\">"
              << htmlText(QStringLiteral("incompleto: ") + m_record.logProblem()) << "</span></dd>\n";
    m_out << "</dl></div>\n";
}

void ReportWriter::writeTotals()
{
    qint64 written = 0;
    qint64 unchanged = 0;
    qint64 kbRead = 0;
    qint64 kbWritten = 0;
    for (const ReportRow& r : m_record.rows()) {
        if (r.report.outcome == RowOutcome::Written)
            ++written;
        if (r.report.outcome == RowOutcome::Unchanged)
            ++unchanged;
        kbRead += r.kbRead.value_or(0);
        kbWritten += r.kbWritten.value_or(0);
    }
    const qint64 rows = qint64(m_record.rows().size());
    const qint64 without = rows - written - unchanged;
    const qint64 problems = m_record.check().problemCount();
    const auto item = [this](const QString& text, bool bad) {
        m_out << (bad ? "<li class=\"mal\">" : "<li>") << htmlText(text) << "</li>";
    };
    m_out << "<ul class=\"tot\">";
    item(QStringLiteral("Filas: %1").arg(rows), false);
    item(QStringLiteral("Con imágenes: %1").arg(written), false);
    if (unchanged > 0)
        item(QStringLiteral("Sin cambios: %1").arg(unchanged), false);
    item(QStringLiteral("Sin imágenes: %1").arg(without), without > 0);
    item(QStringLiteral("Problemas: %1").arg(problems), problems > 0);
    item(QStringLiteral("Avisos: %1").arg(m_record.check().noteCount()), false);
    item(QStringLiteral("Total leído: %1 kB").arg(kbRead), false);
    item(QStringLiteral("Total escrito: %1 kB").arg(kbWritten), false);
    item(compressionDetailText(kbRead, kbWritten), false);
    m_out << "</ul>\n";
}

void ReportWriter::writeProblems()
{
    const CheckResult& check = m_record.check();
    if (check.end != CheckEnd::Checked) {
        m_out << "<h2>Comprobación</h2>\n<ul class=\"problemas\"><li>" << htmlText(check.message) << "</li></ul>\n";
        return;
    }
    if (check.problemCount() == 0)
        return;
    m_out << "<h2>Problemas de la comprobación</h2>\n<ul class=\"problemas\">\n";
    for (const Finding& f : check.findings) {
        if (!isProblem(f.kind))
            continue;
        m_out << "<li><a href=\"#fila-" << f.row << "\">Fila " << f.row << "</a> " << findingKindName(f.kind) << ": "
              << htmlText(f.detail) << "</li>\n";
    }
    m_out << "</ul>\n";
}

QString ReportWriter::thumbnail(const ReportRow& row) const
{
    QFile file(row.smallPath);
    const bool made = row.report.outcome == RowOutcome::Written || row.report.outcome == RowOutcome::Unchanged;
    if (!made || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("<div class=\"sinfoto\">sin imagen</div>");
    const QString alt = htmlText(inside(m_record.destinationFolder(), row.smallPath));
    QString source;
    if (file.size() <= kMaxEmbeddedThumbnailBytes)
        source = dataUri(QStringLiteral("image/jpeg"), file.readAll());
    else
        source = relativeLink(m_pageFolder, row.smallPath);
    return QStringLiteral("<a href=\"%1\"><img src=\"%2\" alt=\"%3\" /></a>")
        .arg(relativeLink(m_pageFolder, row.largePath), source, alt);
}

void ReportWriter::writeRow(const ReportRow& row)
{
    const RowReport& r = row.report;
    const QString reason = missingImagesReason(row);
    const QString name = htmlText(inside(m_record.destinationFolder(), row.largePath));
    m_out << "<article class=\"" << (reason.isEmpty() ? "fila" : "fila no") << "\" id=\"fila-" << row.row
          << "\" data-fila=\"" << row.row << "\">\n<div class=\"foto\">" << thumbnail(row)
          << "</div>\n<div class=\"datos\">\n<p class=\"num\">Fila " << row.row << "</p>\n<p class=\"nombre\">";
    if (row.kbWritten || r.outcome == RowOutcome::Unchanged)
        m_out << "<a href=\"" << relativeLink(m_pageFolder, row.largePath) << "\">" << name << "</a>";
    else
        m_out << name;
    m_out << "</p>\n<p>Origen " << htmlText(r.cells.originAddress) << ": " << shownText(r.cells.sourceText)
          << "</p>\n<p>Destino " << htmlText(r.cells.destinationAddress) << ": " << shownText(r.cells.destinationText)
          << "</p>\n";
    if (!r.resolvedSourcePath.isEmpty())
        m_out << "<p>Foto: " << shownText(inside(m_record.sourceFolder(), r.resolvedSourcePath)) << "</p>\n";
    if (row.kbRead && row.kbWritten)
        m_out << "<p class=\"num\">" << htmlText(sizeDetailText(*row.kbRead, *row.kbWritten)) << "<br />"
              << htmlText(compressionDetailText(*row.kbRead, *row.kbWritten)) << "</p>\n";
    writeCompanions(row);
    if (r.outcome == RowOutcome::Unchanged)
        m_out << "<p>" << htmlText(unchangedDetailText()) << "</p>\n";
    if (!reason.isEmpty())
        m_out << "<p class=\"motivo\">" << htmlText(reason) << "</p>\n";
    writeRowProblems(row.row);
    m_out << "</div>\n</article>\n";
}

void ReportWriter::writeCompanions(const ReportRow& row)
{
    const ReportFile* jpeg = row.file(RowFileKind::LargeJpeg);
    if (!jpeg || !jpeg->bytes || row.files.size() <= 2)
        return;
    PictureSources sources;
    sources.jpeg = inside(m_record.destinationFolder(), jpeg->path);
    sources.width = jpeg->width;
    sources.height = jpeg->height;
    sources.alt = QFileInfo(jpeg->path).completeBaseName();
    QStringList sizes;
    for (const ReportFile& f : row.files) {
        if (f.kind == RowFileKind::LargeJpeg || f.kind == RowFileKind::SmallJpeg)
            continue;
        const QString name = fileKindName(f.kind);
        if (!f.bytes) {
            sizes << QStringLiteral("%1: no escrita, %2").arg(name, f.notWritten);
            continue;
        }
        sizes << QStringLiteral("%1: %2 kB").arg(name).arg(kilobytes(*f.bytes));
        if (f.kind == RowFileKind::LargeWebp)
            sources.webp = inside(m_record.destinationFolder(), f.path);
        if (f.kind == RowFileKind::LargeAvif)
            sources.avif = inside(m_record.destinationFolder(), f.path);
    }
    m_out << "<p class=\"num\">" << htmlText(sizes.join(QStringLiteral(" · "))) << "</p>\n";
    // Each line escaped on its own: the page shows the element's line breaks.
    QStringList shown;
    for (const QString& l : pictureElement(sources).split(QLatin1Char('\n')))
        shown << htmlText(l);
    m_out << "<details><summary>HTML para la tienda</summary><pre class=\"html\">" << shown.join(QLatin1Char('\n'))
          << "</pre></details>\n";
}

void ReportWriter::writeRowProblems(qint64 row)
{
    const auto [first, last] = m_problemsByRow.equal_range(row);
    if (first == last)
        return;
    m_out << "<ul class=\"problema\">";
    for (auto it = first; it != last; ++it)
        m_out << "<li>" << findingKindName(it->second->kind) << ": " << htmlText(it->second->detail) << "</li>";
    m_out << "</ul>\n";
}

}  // namespace

bool writeHtmlReport(const BatchRecord& record, const QString& path)
{
    QByteArray page;
    QTextStream out(&page);
    ReportWriter(record, path, out).write();
    out.flush();
    return out.status() == QTextStream::Ok && writeFileSafely(path, page);
}

}  // namespace fotolista
