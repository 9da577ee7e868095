#include "core/image/libraryload.h"

#include "core/base/windowsfiles.h"

namespace fotolista {

FIBITMAP* libraryLoad(FREE_IMAGE_FORMAT fif, const QString& path, int flags)
{
    return FreeImage_LoadU(fif, widePath(path).c_str(), flags);
}

}  // namespace fotolista
