#include "core/sysinfo/windowsregistry.h"

#include <algorithm>
#include <windows.h>

namespace fotolista {

namespace {

HKEY keyOf(Registry::Handle handle)
{
    return reinterpret_cast<HKEY>(static_cast<quintptr>(handle));
}

}  // namespace

std::optional<Registry::Handle> WindowsRegistry::open(RegistryRoot root, const QString& keyPath)
{
    HKEY under = HKEY_LOCAL_MACHINE;
    switch (root) {
    case RegistryRoot::LocalMachine: under = HKEY_LOCAL_MACHINE; break;
    case RegistryRoot::CurrentUser: under = HKEY_CURRENT_USER; break;
    }
    // Read access only: full access to HKEY_LOCAL_MACHINE is refused to
    // every user who is not an administrator, which would leave the tool
    // unfound on every shop's ordinary account.
    HKEY key = nullptr;
    if (::RegOpenKeyExA(under, keyPath.toLocal8Bit().constData(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    return Handle(reinterpret_cast<quintptr>(key));
}

RegistryValue WindowsRegistry::queryValue(Handle key, const QString& name, qint64 capacity)
{
    if (capacity < 0 || capacity > qint64(MAXDWORD))
        return {};
    QByteArray buffer(qsizetype(capacity), '\0');
    DWORD type = 0;
    DWORD length = DWORD(capacity);
    if (::RegQueryValueExA(keyOf(key), name.toLocal8Bit().constData(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &length)
        != ERROR_SUCCESS)
        return {};
    buffer.truncate(std::min<qsizetype>(buffer.size(), qsizetype(length)));
    return {true, quint32(type), buffer, qint64(length)};
}

void WindowsRegistry::close(Handle key)
{
    ::RegCloseKey(keyOf(key));
}

}  // namespace fotolista
