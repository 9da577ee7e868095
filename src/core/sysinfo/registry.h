#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace fotolista {

/// Root keys the program reads under.
enum class RegistryRoot { LocalMachine, CurrentUser };

/// Value types, with the numbers the registry stores them under.
inline constexpr quint32 kRegistryString = 1;  // REG_SZ
inline constexpr quint32 kRegistryDword = 4;  // REG_DWORD

/// What one value read gives: the bytes written into the caller's buffer and
/// the length the read reported.
struct RegistryValue {
    bool ok = false;
    quint32 type = 0;
    QByteArray bytes;
    qint64 length = 0;
};

/// A system registry of keys holding typed values. Only the About window's
/// search for a system-information tool reads it; Linux has none, so there
/// the backend in use holds no keys and the search ends at the PATH lookup.
class Registry {
public:
    using Handle = quint64;

    virtual ~Registry() = default;

    /// Opens a key for reading; nothing when it cannot be opened.
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

/// The registry of the system the program runs on: Windows' own, elsewhere
/// an EmptyRegistry.
std::unique_ptr<Registry> systemRegistry();

/// Reads one value into `value` (in/out). A text value replaces it; a 32-bit
/// number is turned into hexadecimal digits appended to what `value` held and
/// then shown in decimal; any other type leaves it alone. False, with `value`
/// emptied, when the key cannot be opened or the value cannot be read.
bool getKeyValue(Registry& registry, RegistryRoot root, const QString& keyPath, const QString& valueName,
                 QString& value);

}  // namespace fotolista
