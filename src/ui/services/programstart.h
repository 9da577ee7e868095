#pragma once

#include "core/base/uiservices.h"

#include <QString>
#include <QStringList>

namespace fotolista {

/// Starts `program` with `arguments` without waiting for it, its window shown
/// as `mode` asks where the system lets a starter say so; false when it
/// could not be started.
bool startDetachedProgram(const QString& program, const QStringList& arguments, WindowMode mode);

}  // namespace fotolista
