#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace fotolista {

class UiServices;

/// JPEG quality of the outputs, one check mark of the "Calidad de imagen"
/// menu: "Alta", "Media", "Baja", "Muy baja".
enum class JpegQuality { High, Medium, Low, VeryLow };

/// The side of the marketplace copy: what marketplaces ask for, by default.
inline constexpr int kMarketplaceDefaultSide = 1600;
inline constexpr int kMarketplaceMinSide = 500;
inline constexpr int kMarketplaceMaxSide = 5000;

/// Every setting of a batch job, with its start value and the rules that change
/// it. The main window shows it and edits it; the run reads it live, when a
/// step needs a value, so changes made during a run apply from the next read.
/// The state of the window's own controls (check marks, what is shown) is the
/// window's. Nothing is saved between program starts.
class JobSettings : public QObject {
    Q_OBJECT

public:
    /// `defaultWatermarkFolder` is the program's folder followed by "/numeros".
    explicit JobSettings(QString defaultWatermarkFolder, QObject* parent = nullptr);

    // The texts the path labels show while nothing has been chosen.
    static QString unsetSourceFolderText() { return QStringLiteral("ruta de imágenes fuente"); }
    static QString unsetDestinationFolderText() { return QStringLiteral("ruta de imágenes fuente destino"); }
    static QString unsetWorkbookText() { return QStringLiteral("Archivo de excel no seleccionado"); }

    // --- paths -------------------------------------------------------------
    QString sourceFolder() const { return m_sourceFolder; }
    QString destinationFolder() const { return m_destinationFolder; }
    QString workbookPath() const { return m_workbookPath; }
    bool isSourceFolderSet() const { return m_sourceFolder != unsetSourceFolderText(); }
    bool isDestinationFolderSet() const { return m_destinationFolder != unsetDestinationFolderText(); }
    bool isWorkbookSet() const { return m_workbookPath != unsetWorkbookText(); }
    void setSourceFolder(const QString& path);
    void setDestinationFolder(const QString& path);
    void setWorkbookPath(const QString& path);

    // --- workbook cells (texts as typed) -------------------------------------
    QString originColumn() const { return m_originColumn; }
    QString originRow() const { return m_originRow; }
    QString destinationColumn() const { return m_destinationColumn; }
    QString destinationRow() const { return m_destinationRow; }
    QString rowStep() const { return m_rowStep; }
    void setOriginColumn(const QString& text);
    void setOriginRow(const QString& text);
    void setDestinationColumn(const QString& text);
    void setDestinationRow(const QString& text);
    void setRowStep(const QString& text);

    // --- source format -------------------------------------------------------
    /// ".JPG", ".TIF" or anySourceFormat(): what follows the origin text in
    /// a source's name. Sources are decoded by their content either way.
    QString sourceFormat() const { return m_sourceFormat; }
    /// Menu "Cualquier formato": the origin text followed by any of the
    /// extensions the program reads (see sourcematching.h).
    static QString anySourceFormat() { return QStringLiteral(".*"); }
    void chooseJpgSource();
    void chooseTiffSource();
    void chooseAnySource();

    // --- quality ---------------------------------------------------------------
    JpegQuality jpegQuality() const { return m_jpegQuality; }
    bool isQualityChecked(JpegQuality q) const { return m_jpegQuality == q; }
    /// Moves the check mark to `q`; clicking the checked item changes nothing.
    void chooseQuality(JpegQuality q);

    // --- decoding ------------------------------------------------------------
    /// Menu "Lectura rápida": JPEG sources decoded at a reduced scale that
    /// still covers the large width. Off at start.
    bool fastRead() const { return m_fastRead; }
    void setFastRead(bool fast);
    /// Menu "Solo cambiadas": a row whose two outputs were made from the same
    /// source with the same settings and watermark pictures is skipped. Off
    /// at start.
    bool onlyChanged() const { return m_onlyChanged; }
    void setOnlyChanged(bool onlyChanged);
    /// Menu "Girar según la cámara (EXIF)": sources turned upright as their
    /// EXIF orientation says. On at start.
    bool autorotate() const { return m_autorotate; }
    void setAutorotate(bool autorotate);
    /// Menu "Saltar filas vacías": the walk goes past rows whose two cells
    /// are empty, to the last row with data in either column, instead of
    /// ending at the first. Off at start.
    bool skipBlankRows() const { return m_skipBlankRows; }
    void setSkipBlankRows(bool skip);
    /// Menu "Tamaño mínimo (sin pérdida)": every JPEG is written with
    /// optimised tables, baseline or progressive, whichever is smaller; the
    /// decoded pixels are the same. On at start.
    bool optimizeJpeg() const { return m_optimizeJpeg; }
    void setOptimizeJpeg(bool optimize);
    /// Menu "Copia para tiendas online": each found row also gets a square
    /// copy on white, without watermark, in "tiendas" (core/image/marketplace.h).
    /// Off at start; its side is 1600 unless the command or a job says otherwise.
    bool marketplaceCopy() const { return m_marketplaceCopy; }
    void setMarketplaceCopy(bool on);
    int marketplaceSide() const { return m_marketplaceSide; }
    /// Within kMarketplaceMinSide..kMarketplaceMaxSide; false (and nothing changed) otherwise.
    bool setMarketplaceSide(int side);
    /// Menu "Formatos web", items "WebP" and "AVIF": each copy also as
    /// NAME.webp or NAME.avif beside its JPEG, when smaller. Off at start.
    bool writeWebp() const { return m_writeWebp; }
    void setWriteWebp(bool write);
    bool writeAvif() const { return m_writeAvif; }
    void setWriteAvif(bool write);

    // --- widths --------------------------------------------------------------
    /// Empty until a workbook is chosen or a width is entered.
    std::optional<qint16> largeWidth() const { return m_largeWidth; }
    qint16 smallWidth() const { return m_smallWidth; }
    void setLargeWidth(qint16 w);
    void setSmallWidth(qint16 w);
    /// Menu "Dimensiones": two prompts in a row; an entry that does not convert
    /// keeps that width, and the second prompt is shown in every case.
    void enterWidths(UiServices& ui);
    /// Height 24, widths 409 and 145: done by every workbook selection.
    void restoreRunDefaults();

    // --- watermark -----------------------------------------------------------
    QString defaultWatermarkFolder() const { return m_defaultWatermarkFolder; }
    /// On at start, with the default folder.
    bool watermarkEnabled() const { return m_watermarkEnabled; }
    QString watermarkFolder() const { return m_watermarkFolder; }
    qint32 watermarkHeight() const { return m_watermarkHeight; }
    bool watermarkInteriorOnly() const { return m_watermarkInteriorOnly; }
    int watermarkTransparency() const { return m_watermarkTransparency; }
    bool watermarkManualPlacement() const { return m_watermarkManualPlacement; }

    /// Stamps from now on with the pictures of `folder`.
    void useWatermarkFolder(const QString& folder);
    /// Stops stamping; the folder and the other options stay as they are.
    void disableWatermark();
    void setWatermarkInteriorOnly(bool interiorOnly);
    /// Menu "Altura Marca (por defecto 24 )": keeps the old height when the
    /// answer does not convert.
    void enterWatermarkHeight(UiServices& ui);
    void setWatermarkHeight(qint32 h);
    /// 0..255; values outside are clamped, as the slider holds no others.
    void setWatermarkTransparency(int value);
    void setWatermarkManualPlacement(bool manual);
    /// Menu "Ajustar la marca a la foto": a mark placed by hand that would
    /// stick out of a copy is moved inside it. Off at start.
    bool fitMark() const { return m_fitMark; }
    void setFitMark(bool fit);

signals:
    /// Any field changed; views refresh from the getters.
    void changed();

private:
    template <typename T>
    void assign(T& field, const T& value);

    QString m_defaultWatermarkFolder;

    QString m_sourceFolder = unsetSourceFolderText();
    QString m_destinationFolder = unsetDestinationFolderText();
    QString m_workbookPath = unsetWorkbookText();

    QString m_originColumn = QStringLiteral("F");
    QString m_originRow = QStringLiteral("6");
    QString m_destinationColumn = QStringLiteral("A");
    QString m_destinationRow = QStringLiteral("6");
    QString m_rowStep = QStringLiteral("4");

    QString m_sourceFormat = QStringLiteral(".JPG");
    JpegQuality m_jpegQuality = JpegQuality::Medium;
    bool m_fastRead = false;
    bool m_onlyChanged = false;
    bool m_autorotate = true;
    bool m_skipBlankRows = false;
    bool m_optimizeJpeg = true;
    bool m_marketplaceCopy = false;
    int m_marketplaceSide = kMarketplaceDefaultSide;
    bool m_writeWebp = false;
    bool m_writeAvif = false;

    std::optional<qint16> m_largeWidth;
    qint16 m_smallWidth = 0;

    bool m_watermarkEnabled = true;
    QString m_watermarkFolder;
    qint32 m_watermarkHeight = 0;
    bool m_watermarkInteriorOnly = false;
    int m_watermarkTransparency = 50;
    bool m_watermarkManualPlacement = false;
    bool m_fitMark = false;
};

}  // namespace fotolista
