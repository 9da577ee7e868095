#include "ui/services/toneplayer.h"

#include <windows.h>

namespace fotolista {

void TonePlayer::play()
{
    // The system's own tone generator; Beep returns once the tone has played.
    for (const DWORD hertz : {1256UL, 2256UL, 1256UL}) {
        if (!::Beep(hertz, 1115)) {
            emit beepRequested();
            return;
        }
    }
}

}  // namespace fotolista
