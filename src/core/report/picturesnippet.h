#pragma once

#include <QString>

namespace fotolista {

/// What a shop's page needs to show a row's large copy.
struct PictureSources {
    QString jpeg;  ///< paths inside the destination folder, "/" between parts
    QString webp;  ///< empty when there is none
    QString avif;  ///< empty when there is none
    int width = 0;
    int height = 0;
    QString alt;  ///< the destination name
};

/// The HTML <picture> element for a page of the shop, one line per element:
/// AVIF, then WebP, then the JPEG as the fallback, with its width and
/// height. The paths are percent-encoded (a blank, a comma or a quote in a
/// name cannot split a srcset or end an attribute) and every attribute is
/// escaped, so no name can add markup to the page.
QString pictureElement(const PictureSources& sources);

}  // namespace fotolista
