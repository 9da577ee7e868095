#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace fotolista {

/// What a shop chooses for its own watermark.
struct ShopBrand {
    QString name;  ///< drawn on the band, and as the mark when there is no logo
    QString logoPath;  ///< PNG, SVG or JPEG, transparency kept; empty: none
    QString fontFamily;  ///< empty: the system's own
    QColor textColour = QColor(0xf4, 0xf6, 0xf8);
    QColor bandColour = QColor(0x26, 0x2e, 0x38);
    int largeWidth = 409;  ///< the band is made one pixel narrower, as it is pasted at x = 1
    int bandHeight = 24;
};

/// Every character that gets a picture: digits, letters, the Spanish
/// letters, the signs codes use and the blank.
QString brandCharacters();

/// The pictures of a watermark folder, drawn.
struct BrandPictures {
    QImage band;
    QImage mark;
    QList<QPair<QString, QImage>> glyphs;  ///< file name, picture
    QString problem;  ///< why the logo was not used; empty when it was, or there is none
};

BrandPictures drawBrand(const ShopBrand& brand);

/// The sample stamped as a run stamps it (the engine's own stamp over the
/// pictures, written into a temporary folder): `photo` at the large width,
/// the band, the mark centred and blended by `transparency`, and `code`.
/// Null when it cannot be made. A sample photo much wider than the copy is
/// best reduced first (see readBrandPicture's `maxWidth`): the preview follows
/// the user's typing.
QImage stampedSample(const BrandPictures& pictures, const QImage& photo, int largeWidth, int bandHeight,
                     const QString& code, int transparency);

struct BrandFolderResult {
    bool ok = false;
    QString message;  ///< what went wrong, for the user; empty when it went right
    QStringList refused;  ///< pictures the folder's file system cannot hold apart, not written
};

/// Writes the folder: agua.jpg, marca.png, one picture per character,
/// previa.jpg (the sample at the large width) and temporal.jpg (it stamped).
/// The folder must be new or empty, so no other pictures are replaced.
/// Where the file system takes "a.jpg" and "A.jpg" for one file
/// (`foldsCase`), the second of each such pair is refused and listed; the
/// run then finds the first for both.
BrandFolderResult writeBrandFolder(const BrandPictures& pictures, const QImage& sample, const QString& folder,
                                   int largeWidth, int bandHeight, bool foldsCase);

/// A logo or a sample photo, read only when its header gives a sane size
/// (an SVG drawn 1024 pixels across), reduced to `maxWidth` when it is
/// wider and one is given; null, with `problem` said, otherwise.
QImage readBrandPicture(const QString& path, QString* problem, int maxWidth = 0);

/// A colour typed as #RRGGBB; invalid otherwise.
QColor colourFromText(const QString& text);

}  // namespace fotolista
