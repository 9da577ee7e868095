#include "core/image/libraryload.h"

#include <QFile>

namespace fotolista {

FIBITMAP* libraryLoad(FREE_IMAGE_FORMAT fif, const QString& path, int flags)
{
    return FreeImage_Load(fif, QFile::encodeName(path).constData(), flags);
}

}  // namespace fotolista
