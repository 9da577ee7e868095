#include "core/check/batchcheck.h"

#include "core/base/caseblindfinder.h"
#include "core/base/filesystem.h"
#include "core/base/relativenames.h"
#include "core/check/filesystemnames.h"
#include "core/check/sourceindex.h"
#include "core/check/watermarkcheck.h"
#include "core/image/marketplace.h"
#include "core/image/prepareimages.h"
#include "core/run/imagepipeline.h"
#include "core/run/rundriver.h"
#include "core/run/sourcematching.h"
#include "core/settings/jobsettings.h"
#include "core/workbook/workbookwalk.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace fotolista {

namespace {

/// A cell as the findings name it: F6 «12345», or F6 vacía.
QString cellText(const QString& address, const QString& text)
{
    if (text.isEmpty())
        return address + QStringLiteral(" vacía");
    return address + QStringLiteral(" «") + text + QStringLiteral("»");
}

/// `path` inside `folder`, as the user named it there.
QString inside(const QString& folder, const QString& path)
{
    const QString prefix = folder + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

/// Why the run would not take `relative` as a name under `folder`.
std::optional<QString> nameProblem(const QString& folder, const QString& relative, const NameLimits& limits)
{
    if (!isSafeRelativeName(relative)) {
        const QString path = withForwardSlashes(relative);
        if (path.contains(QChar(0)))
            return QStringLiteral("el nombre lleva el carácter nulo");
        const bool drive = path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter();
        if (path.startsWith(QLatin1Char('/')) || drive)
            return QStringLiteral("es una ruta absoluta, fuera de la carpeta elegida");
        if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
            return QStringLiteral("«..» lleva fuera de la carpeta elegida");
    }
    const QStringList parts = withForwardSlashes(relative).split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i)
        if (const std::optional<NameRefusal> refusal = systemNameRefusal(parts[i], i + 1 < parts.size()))
            return refusal->why;
    return tooLongName(folder, withForwardSlashes(relative), limits);
}

/// One check, from the settings to the findings.
class BatchCheck {
public:
    BatchCheck(const JobSettings& settings, WorkbookReader& reader, WalkPlan plan, PlacementSource* placement);
    CheckResult run();

private:
    void checkRow(const RowCells& cells, qint64 row);
    /// The real file the row's source is, when a run would decode it.
    std::optional<QString> checkSource(const RowCells& cells, qint64 row);
    void noteSharedSource(const QString& origin, qint64 row, const QString& resolved);
    bool headerReadable(const QString& origin, qint64 row, const QString& resolved);
    /// Whether the destination cell names outputs a run would write.
    bool checkDestinationName(const RowCells& cells, qint64 row);
    void checkOutputs(const RowCells& cells, qint64 row);
    /// Notes on how the cells are typed: blanks at the ends, an extension already there.
    void checkTyping(const RowCells& cells, qint64 row);
    void noteOtherFormat(const QString& origin, const RowCells& cells, qint64 row);
    void noteEnlarged(const QString& origin, qint64 row, const QString& shown, ImageSize size);
    void noteSmallForMarketplace(const QString& origin, qint64 row, const QString& shown, const QString& resolved,
                                 const PhotoHeader& header);
    /// Every photo of the workbook, as a run protects them.
    void collectSources(const WorkbookWalk& walk);
    void walkRows(WorkbookWalk& walk);
    void addUnused();
    void add(qint64 row, FindingKind kind, const QString& detail, qint64 otherRow = 0);

    const JobSettings& m_settings;
    WorkbookReader& m_reader;
    WalkPlan m_plan;
    QString m_sourceFolder;
    QString m_destinationFolder;
    QString m_format;
    NameLimits m_sourceLimits;
    NameLimits m_destinationLimits;
    bool m_foldDestination = false;
    CaseBlindFinder m_finder;
    SourceIndex m_index;
    QHash<QString, qint64> m_outputs;  ///< compared output path -> last row writing it
    QHash<QString, qint64> m_sources;  ///< real source path -> first row reading it
    QHash<QString, SourceProbe> m_probes;
    QHash<FileIdentity, qint64> m_workbookSources;  ///< every photo of the workbook -> its first row
    WatermarkCheck m_watermark;
    CheckResult m_result;
};

BatchCheck::BatchCheck(const JobSettings& settings, WorkbookReader& reader, WalkPlan plan, PlacementSource* placement)
    : m_settings(settings)
    , m_reader(reader)
    , m_plan(std::move(plan))
    , m_sourceFolder(settings.sourceFolder())
    , m_destinationFolder(settings.destinationFolder())
    , m_format(settings.sourceFormat())
    , m_watermark(settings, placement)
{
}

CheckResult BatchCheck::run()
{
    WorkbookWalk walk(m_reader, m_plan);
    if (const WorkbookOpenResult opened = walk.open(m_settings.workbookPath()); !opened.ok) {
        walk.close();
        m_result.end = CheckEnd::WorkbookUnreadable;
        m_result.message = opened.message;
        return m_result;
    }
    m_sourceLimits = nameLimits(m_sourceFolder);
    m_destinationLimits = nameLimits(m_destinationFolder);
    m_foldDestination = foldsLetterCase(m_destinationFolder);
    m_index.scan(m_sourceFolder, m_destinationFolder);
    m_result.sheetName = m_reader.sheetName();
    collectSources(walk);
    walkRows(walk);
    walk.close();
    addUnused();
    m_watermark.checkBand(m_result.findings);
    m_result.end = CheckEnd::Checked;
    return m_result;
}

void BatchCheck::collectSources(const WorkbookWalk& walk)
{
    for (const qint64 offset : walk.rowsWithData()) {
        const RowCells cells = walk.rowAt(offset);
        const SourceMatch found = matchSource(m_finder, m_sourceFolder, cells.sourceText, QString(), m_format);
        if (found.fate != RowFate::Found)
            continue;
        if (const std::optional<FileIdentity> id = fileIdentity(found.resolvedPath);
            id && !m_workbookSources.contains(*id))
            m_workbookSources.insert(*id, walk.originRow(offset));
    }
}

void BatchCheck::walkRows(WorkbookWalk& walk)
{
    const bool skip = m_settings.skipBlankRows();
    for (;;) {
        if (skip)
            walk.skipEmptyRows();
        const RowCells cells = walk.currentRow();
        if (cells.isStopRow())
            break;
        ++m_result.rowCount;
        checkRow(cells, walk.originRow(walk.rowOffset()));
        walk.advance();
    }
    m_result.stopRow = walk.originRow(walk.rowOffset());
    m_result.rowsLeftAfterStop = walk.rowsWithDataAfter(walk.rowOffset());
    if (m_result.rowsLeftAfterStop > 0)
        add(m_result.stopRow, FindingKind::DataAfterEnd,
            QStringLiteral("la fila %1 está vacía y el lote termina en ella, pero debajo hay %2 filas más con datos; "
                           "para procesarlas, marque «Saltar filas vacías» (--skip-blank-rows)")
                .arg(m_result.stopRow)
                .arg(m_result.rowsLeftAfterStop));
}

void BatchCheck::checkRow(const RowCells& cells, qint64 row)
{
    checkTyping(cells, row);
    const std::optional<QString> source = checkSource(cells, row);
    const bool named = checkDestinationName(cells, row);
    if (!source || !named)
        return;
    checkOutputs(cells, row);
    if (const std::optional<ImageSize> size = m_probes.value(*source).size)
        m_watermark.checkRow(cellText(cells.originAddress, cells.sourceText),
                             cellText(cells.destinationAddress, cells.destinationText), cells.destinationText, *size,
                             row, m_result.findings);
}

std::optional<QString> BatchCheck::checkSource(const RowCells& cells, qint64 row)
{
    const QString origin = cellText(cells.originAddress, cells.sourceText);
    if (cells.sourceText.isEmpty()) {
        add(row, FindingKind::EmptyOrigin,
            origin + QStringLiteral(", con destino ") + cellText(cells.destinationAddress, cells.destinationText));
        return std::nullopt;
    }
    const QString name = cells.sourceText + m_format;
    if (const std::optional<QString> why = nameProblem(m_sourceFolder, name, m_sourceLimits)) {
        add(row, FindingKind::InvalidName, origin + QStringLiteral(": ") + *why);
        return std::nullopt;
    }
    // The run's own lookup; the destination name is judged on its own.
    const SourceMatch match = matchSource(m_finder, m_sourceFolder, cells.sourceText, QString(), m_format);
    switch (match.fate) {
    case RowFate::Found: break;
    case RowFate::Missing:
    case RowFate::Unnamed:
    case RowFate::Unsafe:
        add(row, FindingKind::MissingSource,
            origin + QStringLiteral(": no hay ") + withForwardSlashes(name) + QStringLiteral(" en la carpeta fuente"));
        noteOtherFormat(origin, cells, row);
        return std::nullopt;
    }
    noteSharedSource(origin, row, match.resolvedPath);
    if (!headerReadable(origin, row, match.resolvedPath))
        return std::nullopt;
    return match.resolvedPath;
}

void BatchCheck::noteSharedSource(const QString& origin, qint64 row, const QString& resolved)
{
    const QString shown = inside(m_sourceFolder, resolved);
    const QStringList twins = m_index.caseTwins(shown);
    if (twins.size() > 1)
        add(row, FindingKind::Ambiguous,
            origin + QStringLiteral(": ") + twins.join(QStringLiteral(", ")) + QStringLiteral("; se usa ") + shown);
    const auto first = m_sources.constFind(resolved);
    if (first == m_sources.constEnd()) {
        m_sources.insert(resolved, row);
        return;
    }
    add(row, FindingKind::RepeatedSource,
        origin + QStringLiteral(": ") + shown + QStringLiteral(" la usa también la fila ") + QString::number(*first),
        *first);
}

bool BatchCheck::headerReadable(const QString& origin, qint64 row, const QString& resolved)
{
    auto probe = m_probes.constFind(resolved);
    if (probe == m_probes.constEnd())
        probe = m_probes.insert(resolved, probeSource(ImagePipeline::requestFor(m_settings, resolved)));
    const QString shown = inside(m_sourceFolder, resolved);
    if (!probe->size) {
        // The run would say the same of it: not a picture it reads, damaged,
        // or no decoder for its codec.
        const QString& why = probe->header.problem;
        add(row, FindingKind::Unreadable,
            why.isEmpty() ? origin + QStringLiteral(": no se puede leer la cabecera de ") + shown
                          : origin + QStringLiteral(": no se puede leer ") + shown + QStringLiteral(": ") + why);
        return false;
    }
    const ImageSize size = *probe->size;
    const QString measures = QStringLiteral("%1 × %2 píxeles").arg(size.width).arg(size.height);
    if (!probe->tooLarge) {
        // A strip so thin that a copy rounds to no row at all cannot be written.
        const PrepareRequest request = ImagePipeline::requestFor(m_settings, resolved);
        const auto flat = [&size](int width) { return width >= 1 && copyHeight(size, width) < 1; };
        if (!flat(request.largeWidth) && !flat(request.smallWidth)) {
            noteEnlarged(origin, row, shown, size);
            if (m_settings.marketplaceCopy())
                noteSmallForMarketplace(origin, row, shown, resolved, probe->header);
            return true;
        }
        add(row, FindingKind::Unreadable,
            QStringLiteral("%1: %2 (%3) es tan baja que una copia tendría 0 píxeles de alto")
                .arg(origin, shown, measures));
        return false;
    }
    if (qint64(size.width) * size.height > kMaxSourcePixels)
        add(row, FindingKind::Unreadable,
            QStringLiteral("%1: %2 mide %3, más que el límite de %4 millones")
                .arg(origin, shown, measures)
                .arg(kMaxSourcePixels / 1'000'000));
    else
        add(row, FindingKind::Unreadable,
            QStringLiteral("%1: las copias de %2 (%3) pasarían del límite de %4 millones de píxeles")
                .arg(origin, shown, measures)
                .arg(kMaxTargetPixels / 1'000'000));
    return false;
}

bool BatchCheck::checkDestinationName(const RowCells& cells, qint64 row)
{
    const QString destination = cellText(cells.destinationAddress, cells.destinationText);
    if (cells.destinationText.isEmpty()) {
        // An origin without a destination: the run reads the photo, then writes nothing.
        add(row, FindingKind::InvalidName, destination + QStringLiteral(": la fila no tiene nombre de destino"));
        return false;
    }
    const QString largePath = largeCopyPath(m_destinationFolder, cells.destinationText);
    const QString large = inside(m_destinationFolder, largePath);
    const QString small = inside(m_destinationFolder, smallCopyPath(m_destinationFolder, cells.destinationText));
    std::optional<QString> why = nameProblem(m_destinationFolder, cells.destinationText, m_destinationLimits);
    if (!why)
        why = tooLongName(m_destinationFolder, large, m_destinationLimits);
    if (!why)
        why = tooLongName(m_destinationFolder, small, m_destinationLimits);
    // The run makes the small copy's folders, not the large one's: its write would fail.
    if (!why && !QFileInfo(QFileInfo(largePath).path()).isDir())
        why = QStringLiteral("no existe la carpeta %1 en la carpeta destino").arg(QFileInfo(large).path());
    if (!why)
        return true;
    add(row, FindingKind::InvalidName, destination + QStringLiteral(": ") + *why);
    return false;
}

void BatchCheck::checkOutputs(const RowCells& cells, qint64 row)
{
    const QString destination = cellText(cells.destinationAddress, cells.destinationText);
    qint64 earlier = 0;
    QString shared;
    QStringList existing;
    for (const QString& path : {largeCopyPath(m_destinationFolder, cells.destinationText),
                                smallCopyPath(m_destinationFolder, cells.destinationText)}) {
        const QString key = comparedPath(path, m_foldDestination);
        const auto before = m_outputs.constFind(key);
        if (before != m_outputs.constEnd() && earlier == 0) {
            earlier = *before;
            shared = inside(m_destinationFolder, path);
        }
        m_outputs.insert(key, row);
        const std::optional<FileIdentity> id = fileIdentity(path);
        if (const auto source = id ? m_workbookSources.constFind(*id) : m_workbookSources.constEnd();
            source != m_workbookSources.constEnd()) {
            add(row, FindingKind::OverwritesSource,
                QStringLiteral("%1: %2 es la foto original de la fila %3; la fila no se escribirá")
                    .arg(destination, inside(m_destinationFolder, path))
                    .arg(*source),
                *source);
        } else if (QFileInfo::exists(path)) {
            existing << inside(m_destinationFolder, path);
        }
    }
    if (earlier != 0)
        add(row, FindingKind::RepeatedDestination,
            destination + QStringLiteral(": ") + shared + QStringLiteral(" ya la escribe la fila ")
                + QString::number(earlier),
            earlier);
    if (existing.size() == 1)
        add(row, FindingKind::Overwrites,
            destination + QStringLiteral(": ") + existing.first() + QStringLiteral(" ya existe y se reemplazará"));
    else if (!existing.isEmpty())
        add(row, FindingKind::Overwrites,
            destination + QStringLiteral(": ") + existing.join(QStringLiteral(" y "))
                + QStringLiteral(" ya existen y se reemplazarán"));
}

void BatchCheck::checkTyping(const RowCells& cells, qint64 row)
{
    const auto blanksAtEnds = [](const QString& t) {
        return !t.isEmpty() && (t.front().isSpace() || t.back().isSpace());
    };
    const auto extensionOf = [](const QString& t) -> QString {
        for (const QString& e : anyFormatExtensions())
            if (t.size() > e.size() && t.endsWith(e, Qt::CaseInsensitive))
                return t.right(e.size());
        return {};
    };
    const struct {
        const QString& address;
        const QString& text;
        QString made;  // the name the run will look for, or write
        const char* verb;
    } texts[] = {{cells.originAddress, cells.sourceText, cells.sourceText + m_format, "se buscará"},
                 {cells.destinationAddress, cells.destinationText, cells.destinationText + QStringLiteral(".jpg"),
                  "se escribirá"}};
    for (const auto& t : texts) {
        const QString cell = cellText(t.address, t.text);
        const QString made = QStringLiteral("%1 «%2»").arg(QString::fromUtf8(t.verb), t.made);
        if (blanksAtEnds(t.text))
            add(row, FindingKind::Blanks,
                QStringLiteral("%1: el texto empieza o acaba con espacios, que cuentan en el nombre: %2")
                    .arg(cell, made));
        if (const QString extension = extensionOf(t.text); !extension.isEmpty())
            add(row, FindingKind::DoubleExtension,
                QStringLiteral("%1: el texto ya acaba en %2: %3").arg(cell, extension, made));
    }
}

void BatchCheck::noteOtherFormat(const QString& origin, const RowCells& cells, qint64 row)
{
    if (m_format == JobSettings::anySourceFormat())
        return;
    const SourceMatch other =
        matchSource(m_finder, m_sourceFolder, cells.sourceText, QString(), JobSettings::anySourceFormat());
    if (other.fate != RowFate::Found)
        return;
    add(row, FindingKind::OtherFormat,
        QStringLiteral("%1: está %2, en otro formato; elija «Cualquier formato» en el menú Formato (--format any)")
            .arg(origin, inside(m_sourceFolder, other.resolvedPath)));
}

void BatchCheck::noteEnlarged(const QString& origin, qint64 row, const QString& shown, ImageSize size)
{
    const PrepareRequest request = ImagePipeline::requestFor(m_settings, QString());
    const int widest = std::max(request.largeWidth, request.smallWidth);
    if (size.width >= widest)
        return;
    add(row, FindingKind::Enlarged,
        QStringLiteral("%1: %2 mide %3 × %4 píxeles, menos que la copia de %5 de ancho: se amplía y pierde nitidez")
            .arg(origin, shown)
            .arg(size.width)
            .arg(size.height)
            .arg(widest));
}

void BatchCheck::noteSmallForMarketplace(const QString& origin, qint64 row, const QString& shown,
                                         const QString& resolved, const PhotoHeader& header)
{
    const std::optional<int> product = sourceProductSide(resolved, header);
    if (!product || *product >= kMarketplaceZoomSide)
        return;
    const int side = marketplaceLayout({*product, *product}, m_settings.marketplaceSide()).side;
    add(row, FindingKind::SmallForMarketplace,
        QStringLiteral("%1: el producto de %2 mide %3 píxeles en su lado mayor, menos de los %4 con que las tiendas "
                       "online amplían la foto; su copia para tiendas será de %5 × %5")
            .arg(origin, shown)
            .arg(*product)
            .arg(kMarketplaceZoomSide)
            .arg(side));
}

void BatchCheck::addUnused()
{
    const bool any = m_format == JobSettings::anySourceFormat();
    const QStringList extensions = any ? anyFormatExtensions() : QStringList{m_format};
    for (const QString& file : m_index.files()) {
        if (std::none_of(extensions.begin(), extensions.end(),
                         [&file](const QString& e) { return file.endsWith(e, Qt::CaseInsensitive); }))
            continue;
        if (!m_sources.contains(m_sourceFolder + QLatin1Char('/') + file))
            add(0, FindingKind::Unused, file + QStringLiteral(": ninguna fila la usa"));
    }
}

void BatchCheck::add(qint64 row, FindingKind kind, const QString& detail, qint64 otherRow)
{
    m_result.findings.push_back(Finding{row, kind, detail, otherRow});
}

}  // namespace

bool isProblem(FindingKind kind)
{
    switch (kind) {
    case FindingKind::MissingSource:
    case FindingKind::EmptyOrigin:
    case FindingKind::InvalidName:
    case FindingKind::RepeatedDestination:
    case FindingKind::Unreadable:
    case FindingKind::OverwritesSource:
    case FindingKind::DataAfterEnd: return true;
    case FindingKind::Overwrites:
    case FindingKind::RepeatedSource:
    case FindingKind::Unused:
    case FindingKind::Ambiguous:
    case FindingKind::OtherFormat:
    case FindingKind::Blanks:
    case FindingKind::DoubleExtension:
    case FindingKind::Enlarged:
    case FindingKind::SmallForMarketplace:
    case FindingKind::CodeTooLong:
    case FindingKind::MissingGlyph:
    case FindingKind::NarrowBand:
    case FindingKind::MarkOutside: return false;
    }
    return false;
}

QString findingKindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::MissingSource: return QStringLiteral("falta-origen");
    case FindingKind::EmptyOrigin: return QStringLiteral("origen-vacio");
    case FindingKind::InvalidName: return QStringLiteral("nombre-no-valido");
    case FindingKind::RepeatedDestination: return QStringLiteral("destino-repetido");
    case FindingKind::Unreadable: return QStringLiteral("no-legible");
    case FindingKind::Overwrites: return QStringLiteral("sobrescribe");
    case FindingKind::RepeatedSource: return QStringLiteral("origen-repetido");
    case FindingKind::Unused: return QStringLiteral("sin-usar");
    case FindingKind::Ambiguous: return QStringLiteral("ambiguo");
    case FindingKind::OverwritesSource: return QStringLiteral("pisa-origen");
    case FindingKind::DataAfterEnd: return QStringLiteral("datos-tras-fin");
    case FindingKind::OtherFormat: return QStringLiteral("otro-formato");
    case FindingKind::Blanks: return QStringLiteral("espacios");
    case FindingKind::DoubleExtension: return QStringLiteral("extension-doble");
    case FindingKind::Enlarged: return QStringLiteral("se-amplia");
    case FindingKind::SmallForMarketplace: return QStringLiteral("pequena-para-tiendas");
    case FindingKind::CodeTooLong: return QStringLiteral("codigo-largo");
    case FindingKind::MissingGlyph: return QStringLiteral("sin-glifo");
    case FindingKind::NarrowBand: return QStringLiteral("banda-estrecha");
    case FindingKind::MarkOutside: return QStringLiteral("marca-fuera");
    }
    return {};
}

qint64 CheckResult::problemCount() const
{
    return std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return isProblem(f.kind); });
}

qint64 CheckResult::noteCount() const
{
    return qint64(findings.size()) - problemCount();
}

QString CheckResult::summaryLine() const
{
    QString rows = QString::number(rowCount) + QStringLiteral(" filas");
    if (!sheetName.isEmpty())
        rows += QStringLiteral(" de la hoja «%1»").arg(sheetName);
    if (rowsLeftAfterStop > 0)
        rows += QStringLiteral(" y %1 más sin leer tras la fila vacía %2").arg(rowsLeftAfterStop).arg(stopRow);
    return QStringLiteral("%1: %2 problemas, %3 avisos").arg(rows).arg(problemCount()).arg(noteCount());
}

CheckResult checkBatch(const JobSettings& settings, WorkbookReader& reader, PlacementSource* placement)
{
    if (const std::optional<QString> why = runRefusal(settings)) {
        CheckResult refused;
        refused.message = *why;
        return refused;
    }
    BatchCheck check(settings, reader, *planWalk(settings), placement);
    return check.run();
}

}  // namespace fotolista
