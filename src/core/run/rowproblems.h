#pragma once

#include "core/run/runview.h"

#include <QString>

#include <optional>

namespace fotolista {

/// Why a write to `path` failed, as far as the file system tells: a missing
/// or read-only folder, a protected file, a name too long.
QString writeFailureReason(const QString& path);

/// The red line under a found row whose images were not both written, which
/// is also what the log adds to the row's line; nothing for a row written,
/// unchanged, or whose cells no longer match.
std::optional<QString> rowFailureText(RowOutcome outcome, const QString& problem);

}  // namespace fotolista
