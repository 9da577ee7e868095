#pragma once

namespace fotolista {

/// Ctrl-C and requests to end: the first asks the batch to stop after the
/// row in progress (noteInterrupt()); the second ends the program at once
/// with status 130, taking the half-written file along.
void installInterruptHandlers();

/// Whether standard error is a terminal, where progress is drawn.
bool standardErrorIsTerminal();

/// The console shows the UTF-8 the command writes ("ñ", accents); on Windows
/// it would read it in its own code page. Nothing to do elsewhere.
void prepareConsoleOutput();

/// Qt's platform for drawing with the system's fonts without a display:
/// "offscreen" on Linux; Windows' Qt has "minimal" for it.
const char* headlessPlatform();

}  // namespace fotolista
