#pragma once

#include "core/sysinfo/registry.h"

namespace fotolista {

/// Windows' own registry through its byte-wide calls (RegOpenKeyExA,
/// RegQueryValueExA, RegCloseKey), which deliver one byte per character as
/// getKeyValue() reads them. Holds no state: a handle is the key itself.
class WindowsRegistry final : public Registry {
public:
    /// With KEY_ALL_ACCESS: a key that only opens with fewer rights counts as missing.
    std::optional<Handle> open(RegistryRoot root, const QString& keyPath) override;
    /// A value longer than `capacity` bytes is a failed read.
    RegistryValue queryValue(Handle key, const QString& name, qint64 capacity) override;
    void close(Handle key) override;
};

}  // namespace fotolista
