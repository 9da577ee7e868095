#pragma once

namespace fotolista {

/// A file-size limit makes a write fail instead of ending the program (on
/// systems that signal it; elsewhere the write fails by itself).
void ignoreFileSizeLimitSignal();

}  // namespace fotolista
