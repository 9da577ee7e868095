#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class UiServices;

/// Root keys the program reads under.
enum class RegistryRoot { LocalMachine, CurrentUser };

/// Value types, with the numbers the registry stores them under.
inline constexpr quint32 kRegistryString = 1;  // REG_SZ
inline constexpr quint32 kRegistryDword = 4;   // REG_DWORD

/// What one value read gives: the bytes written into the caller's buffer and
/// the length the read reported.
struct RegistryValue {
    bool ok = false;
    quint32 type = 0;
    QByteArray bytes;
    qint64 length = 0;
};

/// A system registry of keys holding typed values. Only the About window's
/// search for a system-information tool reads it; Linux has none, so the
/// backend in use holds no keys and the search ends at the PATH lookup.
class Registry {
public:
    using Handle = quint64;

    virtual ~Registry() = default;

    /// Opens a key with full access rights; nothing when it cannot be opened.
    virtual std::optional<Handle> open(RegistryRoot root, const QString& keyPath) = 0;
    /// Reads a value into a buffer of `capacity` bytes; a value that does not
    /// fit is a failed read, as on the registry this models.
    virtual RegistryValue queryValue(Handle key, const QString& name, qint64 capacity) = 0;
    virtual void close(Handle key) = 0;
};

/// The registry of a system that has none: every open fails.
class EmptyRegistry final : public Registry {
public:
    std::optional<Handle> open(RegistryRoot, const QString&) override { return std::nullopt; }
    RegistryValue queryValue(Handle, const QString&, qint64) override { return {}; }
    void close(Handle) override {}
};

/// Reads one value into `value` (in/out). A text value replaces it; a 32-bit
/// number is turned into hexadecimal digits appended to what `value` held and
/// then shown in decimal; any other type leaves it alone. False, with `value`
/// emptied, when the key cannot be opened or the value cannot be read.
bool getKeyValue(Registry& registry, RegistryRoot root, const QString& keyPath, const QString& valueName,
                 QString& value);

/// The system-information tool the registry names, if any: the "PATH" value
/// of the MSINFO key, else the "MSINFO" folder when its MSINFO32.EXE exists.
/// A "PATH" that was read counts even when its text is empty.
std::optional<QString> startSysInfoPlan(Registry& registry, const std::function<bool(const QString&)>& fileExists);

/// The desktop programs that show system information, in order of preference.
QStringList linuxSysInfoPrograms();

/// How the About window's system-information button finds what to start.
struct SysInfoEnvironment {
    std::function<bool(const QString&)> fileExists;
    /// Full path of a program found on PATH, or empty.
    std::function<QString(const QString&)> findProgram;

    /// Regular files, and QStandardPaths' search of PATH.
    static SysInfoEnvironment system();
};

/// Starts the system-information tool: the one the registry names, else the
/// first of linuxSysInfoPrograms() found; when there is none, or the start
/// fails, tells the user so. True when a program was started.
bool startSysInfo(UiServices& ui, Registry& registry, const SysInfoEnvironment& environment);
