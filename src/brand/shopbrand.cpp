#include "brand/shopbrand.h"

#include "core/base/caseblindfinder.h"
#include "core/base/safewrite.h"
#include "core/base/shortint.h"
#include "core/image/bitmap.h"
#include "core/watermark/stamp.h"
#include "core/watermark/watermarkfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace fotolista {

namespace {

constexpr int kGlyphWidth = 9;
constexpr int kGlyphHeight = 16;
/// A logo larger than this is refused before it is decoded.
constexpr qint64 kMaxLogoPixels = 40'000'000;
/// An SVG is drawn at this many pixels across its longer side.
constexpr int kSvgSide = 1024;

QString familyOf(const ShopBrand& brand)
{
    return brand.fontFamily.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()
                                      : brand.fontFamily;
}

}  // namespace

QImage readBrandPicture(const QString& path, QString* problem, int maxWidth)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!reader.canRead() || !size.isValid() || size.isEmpty()) {
        *problem = QStringLiteral("No se puede leer «%1»: no es una imagen PNG, SVG ni JPEG").arg(path);
        return {};
    }
    if (reader.format() == "svg") {
        size.scale(kSvgSide, kSvgSide, Qt::KeepAspectRatio);
        reader.setScaledSize(size);
    } else if (qint64(size.width()) * size.height() > kMaxLogoPixels) {
        *problem = QStringLiteral("«%1» mide %2 × %3 píxeles: es demasiado grande")
                       .arg(path)
                       .arg(size.width())
                       .arg(size.height());
        return {};
    }
    // The decoder itself reads a JPEG at a fraction of its size.
    if (maxWidth > 0 && size.width() > maxWidth)
        reader.setScaledSize(size.scaled(maxWidth, size.height(), Qt::KeepAspectRatio));
    QImage logo = reader.read();
    if (logo.isNull())
        *problem = QStringLiteral("No se puede leer «%1»: %2").arg(path, reader.errorString());
    return logo.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

namespace {

/// `logo` as large as fits `box`, keeping its shape, at the box's left or
/// in its middle; the width it took.
int drawLogo(QPainter& p, const QImage& logo, const QRect& box, bool centred)
{
    const QSize size = logo.size().scaled(box.size(), Qt::KeepAspectRatio);
    const int left = centred ? box.x() + (box.width() - size.width()) / 2 : box.x();
    const QRect at(left, box.y() + (box.height() - size.height()) / 2, size.width(), size.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(at, logo);
    return size.width();
}

/// The name on one line, bold, at `pixels` or smaller until it fits `width`.
QFont fittedFont(const QString& family, const QString& text, int pixels, int width)
{
    QFont font(family);
    font.setBold(true);
    for (; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= width)
            break;
    }
    return font;
}

QImage drawBand(const ShopBrand& brand, const QImage& logo)
{
    QImage band(std::max(1, brand.largeWidth - 1), std::max(1, brand.bandHeight), QImage::Format_RGB888);
    band.fill(brand.bandColour);
    QPainter p(&band);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // The name keeps to the left half; the code goes on the right.
    const int margin = std::max(2, band.height() / 4);
    int x = margin;
    if (!logo.isNull())
        x += drawLogo(p, logo, QRect(x, margin / 2, band.height() * 3, band.height() - margin), false) + margin;
    const int room = band.width() / 2 - x;
    if (!brand.name.isEmpty() && room > 0) {
        const QFont font = fittedFont(familyOf(brand), brand.name, band.height() / 2, room);
        p.setFont(font);
        p.setPen(brand.textColour);
        const QString shown = QFontMetrics(font).elidedText(brand.name, Qt::ElideRight, room);
        p.drawText(QRect(x, 0, room, band.height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
    return band;
}

QImage drawMark(const ShopBrand& brand, const QImage& logo)
{
    // Blended whole over the photo, so only the contrast inside it shows.
    const int width = std::max(40, int(std::lround(brand.largeWidth * 0.3)));
    QImage mark(width, width / 2, QImage::Format_RGB888);
    mark.fill(brand.bandColour);
    QPainter p(&mark);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int margin = std::max(3, mark.height() / 8);
    p.setPen(QPen(brand.textColour, 2));
    p.drawRoundedRect(QRectF(1, 1, mark.width() - 2, mark.height() - 2), margin, margin);
    const QRect inside = mark.rect().adjusted(2 * margin, 2 * margin, -2 * margin, -2 * margin);
    if (!logo.isNull()) {
        drawLogo(p, logo, inside, true);
    } else if (!brand.name.isEmpty()) {
        p.setFont(fittedFont(familyOf(brand), brand.name, inside.height() / 2, inside.width()));
        const QString shown = QFontMetrics(p.font()).elidedText(brand.name, Qt::ElideRight, inside.width());
        p.drawText(inside, Qt::AlignCenter, shown);
    }
    return mark;
}

/// The characters drawn as outlines, so their true ink (accents and tails
/// included) can be measured and fitted to the cells.
struct GlyphOutlines {
    QList<QPainterPath> paths;  ///< in brandCharacters() order, baseline at y = 0
    double scale = 1;  ///< from outline units to cell pixels, the same for all
    double baseline = 0;  ///< the baseline's row in the cell
};

GlyphOutlines glyphOutlines(const ShopBrand& brand)
{
    QFont font(familyOf(brand));
    font.setBold(true);
    font.setPixelSize(64);
    GlyphOutlines outlines;
    double top = 0;
    double bottom = 0;
    for (const char32_t c : brandCharacters().toUcs4()) {
        QPainterPath path;
        path.addText(0, 0, font, QString::fromUcs4(&c, 1));
        top = std::min(top, path.boundingRect().top());
        bottom = std::max(bottom, path.boundingRect().bottom());
        outlines.paths << path;
    }
    // The tallest accent and the longest tail fit the cell's 16 rows.
    outlines.scale = bottom > top ? (kGlyphHeight - 1) / (bottom - top) : 1;
    outlines.baseline = -top * outlines.scale + 0.5;
    return outlines;
}

/// One character in a 9 x 16 cell on the band's colour, as large as the
/// tallest of the set allows; one wider than the cell is narrowed.
QImage drawGlyph(const ShopBrand& brand, const GlyphOutlines& outlines, int index)
{
    QImage glyph(kGlyphWidth, kGlyphHeight, QImage::Format_RGB888);
    glyph.fill(brand.bandColour);
    const QPainterPath& path = outlines.paths.at(index);
    const QRectF ink = path.boundingRect();
    if (path.isEmpty() || ink.width() <= 0)
        return glyph;
    const double xScale = std::min(outlines.scale, (kGlyphWidth - 0.5) / ink.width());
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate((kGlyphWidth - ink.width() * xScale) / 2 - ink.left() * xScale, outlines.baseline);
    p.scale(xScale, outlines.scale);
    p.fillPath(path, brand.textColour);
    return glyph;
}

Bitmap bitmapOf(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    return Bitmap::fromRgbRows(rgb.width(), rgb.height(), rgb.constBits(), rgb.bytesPerLine());
}

/// JPEG at full quality without chroma subsampling: thin strokes keep their
/// colour, and a glyph's ground stays the band's.
constexpr int kPictureJpegFlags = 0x80 | 0x10000;

QByteArray jpegOf(const QImage& image)
{
    return encodeBitmap(ImageFormat::Jpeg, bitmapOf(image), kPictureJpegFlags);
}

/// The folder's pictures as files, in writing order.
QList<QPair<QString, QByteArray>> pictureFiles(const BrandPictures& pictures)
{
    QList<QPair<QString, QByteArray>> files;
    files.append({watermarkfiles::band(), jpegOf(pictures.band)});
    // 24-bit without alpha: a mark with an alpha channel is never pasted.
    files.append({watermarkfiles::mark(), encodeBitmap(ImageFormat::Png, bitmapOf(pictures.mark), 0)});
    for (const auto& [name, glyph] : pictures.glyphs)
        files.append({name, jpegOf(glyph)});
    return files;
}

/// Uncompressed: the picture only passes from one library to the other.
constexpr int kPngNoCompression = 0x0100;

QImage imageOf(const Bitmap& bitmap)
{
    return QImage::fromData(encodeBitmap(ImageFormat::Png, bitmap, kPngNoCompression), "PNG");
}

bool writeAll(const QString& folder, const QList<QPair<QString, QByteArray>>& files, QString* failed)
{
    for (const auto& [name, bytes] : files) {
        if (bytes.isEmpty() || !writeFileSafely(QDir(folder).filePath(name), bytes)) {
            *failed = name;
            return false;
        }
    }
    return true;
}

}  // namespace

QString brandCharacters()
{
    return QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                          "ÁÉÍÓÚÜÑáéíóúüñÇç-_.+()&# ");
}

BrandPictures drawBrand(const ShopBrand& brand)
{
    BrandPictures pictures;
    QImage logo;
    if (!brand.logoPath.isEmpty())
        logo = readBrandPicture(brand.logoPath, &pictures.problem);
    pictures.band = drawBand(brand, logo);
    pictures.mark = drawMark(brand, logo);
    const GlyphOutlines outlines = glyphOutlines(brand);
    const QList<uint> characters = brandCharacters().toUcs4();
    for (int i = 0; i < characters.size(); ++i)
        if (const std::optional<QString> name = watermarkfiles::glyph(characters[i]))
            pictures.glyphs.append({*name, drawGlyph(brand, outlines, i)});
    return pictures;
}

QImage stampedSample(const BrandPictures& pictures, const QImage& photo, int largeWidth, int bandHeight,
                     const QString& code, int transparency)
{
    // Only the pictures this code uses: the preview is redrawn as the user types.
    BrandPictures used;
    used.band = pictures.band;
    used.mark = pictures.mark;
    for (const auto& glyph : pictures.glyphs)
        for (const char32_t c : code.toUcs4())
            if (watermarkfiles::glyph(c) == glyph.first) {
                used.glyphs.append(glyph);
                break;
            }
    QTemporaryDir folder;
    QString failed;
    if (!folder.isValid() || photo.isNull() || largeWidth < 1 || !writeAll(folder.path(), pictureFiles(used), &failed))
        return {};
    const double heightExact = double(photo.height()) * double(largeWidth) / double(photo.width());
    Bitmap large = bitmapOf(photo).rescaled(largeWidth, std::max(1, int(roundHalfEven(heightExact))));
    WatermarkStamp stamp;
    stamp.folder = folder.path();
    stamp.bandHeight = bandHeight;
    stamp.mark.transparency = transparency;
    stamp.code = code;
    CaseBlindFinder finder;
    stampWatermark(large, heightExact, stamp, finder, [] {});
    return imageOf(large);
}

BrandFolderResult writeBrandFolder(const BrandPictures& pictures, const QImage& sample, const QString& folder,
                                   int largeWidth, int bandHeight, bool foldsCase)
{
    BrandFolderResult result;
    const QDir dir(folder);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        result.message = QStringLiteral("La carpeta «%1» no está vacía: elija una carpeta nueva o vacía, "
                                        "para no reemplazar otros dibujos")
                             .arg(folder);
        return result;
    }
    if (!QDir().mkpath(folder)) {
        result.message = QStringLiteral("No se puede crear la carpeta «%1»").arg(folder);
        return result;
    }
    QList<QPair<QString, QByteArray>> files;
    QSet<QString> taken;
    for (const auto& file : pictureFiles(pictures)) {
        // Where the file system folds letter case, "a.jpg" would replace "A.jpg".
        const QString key = foldsCase ? file.first.toLower() : file.first;
        if (taken.contains(key)) {
            result.refused << file.first;
            continue;
        }
        taken.insert(key);
        files << file;
    }
    if (!sample.isNull()) {
        const double heightExact = double(sample.height()) * double(largeWidth) / double(sample.width());
        const int height = std::max(1, int(roundHalfEven(heightExact)));
        const QImage scaled = imageOf(bitmapOf(sample).rescaled(largeWidth, height));
        files.append({watermarkfiles::sample(), jpegOf(scaled)});
        files.append({watermarkfiles::preview(),
                      jpegOf(stampedSample(pictures, sample, largeWidth, bandHeight, QStringLiteral("ABC-123"), 50))});
    }
    QString failed;
    if (!writeAll(folder, files, &failed)) {
        result.message = QStringLiteral("No se puede escribir «%1» en «%2»: %3")
                             .arg(failed, folder, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    result.ok = true;
    return result;
}

QColor colourFromText(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    return re.match(text).hasMatch() ? QColor::fromString(text) : QColor();
}

}  // namespace fotolista
