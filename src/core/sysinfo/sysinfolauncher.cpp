#include "core/sysinfo/sysinfolauncher.h"

#include "core/base/uiservices.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace fotolista {

std::optional<QString> startSysInfoPlan(Registry& registry, const std::function<bool(const QString&)>& fileExists,
                                        QChar separator)
{
    QString value;
    if (getKeyValue(registry, RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), value))
        return value;
    if (getKeyValue(registry, RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                    QStringLiteral("MSINFO"), value)) {
        const QString program = value + separator + QStringLiteral("MSINFO32.EXE");
        if (fileExists(program))
            return program;
    }
    return std::nullopt;
}

QStringList linuxSysInfoPrograms()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"), QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor")};
}

SysInfoEnvironment SysInfoEnvironment::system()
{
    return {[](const QString& path) { return QFileInfo(path).isFile(); },
            [](const QString& name) { return QStandardPaths::findExecutable(name); }, sysInfoProgramsOnPath()};
}

bool startSysInfo(UiServices& ui, Registry& registry, const SysInfoEnvironment& environment)
{
    std::optional<QString> program = startSysInfoPlan(registry, environment.fileExists);
    // Only when the registry names nothing: a tool it names but that fails to
    // start ends at the message, as it always did.
    if (!program) {
        for (const QString& name : environment.programsOnPath) {
            const QString found = environment.findProgram(name);
            if (!found.isEmpty()) {
                program = found;
                break;
            }
        }
    }
    // An empty program (a value of another type) cannot be started.
    if (program && !program->isEmpty() && ui.startProgram(*program, {}, WindowMode::NormalWithFocus))
        return true;
    ui.showMessage(QStringLiteral("La información del sistema no está disponible en este momento"), MessageButtons::Ok,
                   MessageIcon::None, QStringLiteral("Fotolista"));
    return false;
}

}  // namespace fotolista
