#pragma once

#include "core/base/shownpaths.h"
#include "core/sysinfo/registry.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace fotolista {

class UiServices;

/// The system-information tool the registry names, if any: the "PATH" value
/// of the MSINFO key, else the "MSINFO" folder, `separator` and MSINFO32.EXE
/// when that file exists. A "PATH" that was read counts even when its text
/// is empty.
std::optional<QString> startSysInfoPlan(Registry& registry, const std::function<bool(const QString&)>& fileExists,
                                        QChar separator = shownSeparator());

/// The desktop programs that show system information, in order of preference.
QStringList linuxSysInfoPrograms();

/// The programs looked for on PATH when the registry names none: those of
/// linuxSysInfoPrograms() on Linux; none on Windows, where the registry's
/// answer is the only one.
QStringList sysInfoProgramsOnPath();

/// How the About window's system-information button finds what to start.
struct SysInfoEnvironment {
    std::function<bool(const QString&)> fileExists;
    /// Full path of a program found on PATH, or empty.
    std::function<QString(const QString&)> findProgram;
    /// The programs to look for on PATH, in order of preference.
    QStringList programsOnPath;

    /// Regular files, QStandardPaths' search of PATH and sysInfoProgramsOnPath().
    static SysInfoEnvironment system();
};

/// Starts the system-information tool: the one the registry names, else the
/// first of the environment's programsOnPath found; when there is none, or
/// the start fails, tells the user so. True when a program was started.
bool startSysInfo(UiServices& ui, Registry& registry, const SysInfoEnvironment& environment);

}  // namespace fotolista
