#pragma once

#include "core/base/shownpaths.h"
#include "core/image/prepareimages.h"
#include "core/run/runview.h"
#include "core/settings/jobsettings.h"

#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace fotolista {

class CaseBlindFinder;
class OutputGuard;
class RowPreparation;
class JobSettings;
class PlacementSource;
struct RunTotals;
class UiServices;
class WorkbookWalk;

/// What the image work of one run needs besides the row itself.
struct PipelineContext {
    JobSettings& settings;  ///< read live, at the step that needs a value
    UiServices& ui;  ///< yields and the write-error message
    RunView& view;
    WorkbookWalk& walk;  ///< cells are read again where the row needs them
    PlacementSource& placement;
    RunTotals& totals;
    CaseBlindFinder& finder;
    RowPreparation& preparation;  ///< decodes and rescales off the run's thread
    OutputGuard& guard;  ///< the sources and the images already written, never written over
    QString destinationFolder;  ///< read once when the run starts
    QString watermarkFolder;  ///< read once when the run starts
};

/// The message of a failed write.
QString writeErrorMessage();

/// The status while a row's source is read: "Leyendo imagen: ", the
/// separator, the origin text and its extension.
QString readingImageText(const QString& sourceText, const QString& extension, QChar separator = shownSeparator());

/// The status once a row is written: "Escribiendo imagen: ", the separator,
/// the destination text and ".jpg".
QString writingImageText(const QString& destinationText, QChar separator = shownSeparator());

/// The large copy's path: the destination text, "\" read as "/", with ".jpg".
QString largeCopyPath(const QString& destinationFolder, const QString& destinationText);

/// The small copy's path: the large one's, in the sub-folder "pequeñas", with
/// every ".jpg" of the file name made "_p.jpg" (the folder part is left alone).
QString smallCopyPath(const QString& destinationFolder, const QString& destinationText);

/// The marketplace copy's path: "tiendas/" and the destination text, "\" read as "/", with ".jpg".
QString marketplaceCopyPath(const QString& destinationFolder, const QString& destinationText);

/// Decodes a found row's source, makes the large and the small copy, stamps
/// the large one and writes both as JPEG. Every bitmap of a row is released
/// before run() returns.
class ImagePipeline {
public:
    explicit ImagePipeline(PipelineContext context);

    /// `rowKey` names the row's summary entry, which receives the statistics;
    /// `rowOffset` names the row for the work prepared ahead. `report` gets
    /// the destination path, and why a source did not decode or a copy was
    /// not written.
    RowOutcome run(const RowCells& cells, const SourceMatch& source, const QString& rowKey, qint64 rowOffset,
                   RowReport& report);

    /// The decoding and rescaling a row needs with the settings as they stand.
    static PrepareRequest requestFor(const JobSettings& settings, const QString& sourcePath);

private:
    struct Row;

    /// The row's images made for its request; the outcome that ends the row
    /// when there are none to use.
    std::optional<RowOutcome> obtain(Row& row);
    /// Both copies at the widths set now; work made for other widths is made again.
    std::optional<RowOutcome> takeCopies(Row& row);
    void stamp(Row& row);
    RowOutcome save(Row& row, RowReport& report);
    /// The square copy for online marketplaces; false, with the reason in `report`, when it was not written.
    bool saveMarketplace(Row& row, const QString& path, RowReport& report);
    void recordSizes(const Row& row, const QString& destinationPath);

    PipelineContext m_ctx;
    /// The JPEG flags of the last quality item seen marked; 0 until then.
    int m_qualityFlags = 0;
    /// The item those flags came from, for the companions' quality.
    JpegQuality m_quality = JpegQuality::Medium;
    /// The sample the mark was placed on, read when a mark is first fitted.
    std::optional<QSize> m_placedOn;
};

}  // namespace fotolista
