#pragma once

class QTextStream;

namespace fotolista {

class JobSettings;
class PlacementSource;

/// `fotolista-batch check`, once the options are in `settings` (and the
/// mark placed by hand in `placement`): one line per
/// finding, "ROW<TAB>KIND<TAB>DETAIL" (the detail on one line, escaped as
/// `cells` escapes texts), then "N filas: P problemas, Q avisos". Returns 0
/// without problems, 1 with problems, 2 when a run would refuse to start
/// (its message goes to `err`).
int runCheckCommand(const JobSettings& settings, PlacementSource& placement, QTextStream& out, QTextStream& err);

}  // namespace fotolista
