#include "core/sysinfo/registry.h"

#include <algorithm>

namespace fotolista {

namespace {

// The reader's buffer, in characters; the registry is told the same size.
constexpr qint64 kBufferSize = 1024;

bool isHexDigits(QStringView digits)
{
    return std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
}

// The general number formatting of an "&h" text: a hexadecimal number is shown
// in decimal; a text that is no such number (or needs more than 64 bits) is
// shown as it stands, as a text formatted as a number would be.
QString formatHexText(const QString& text)
{
    const QStringView digits = QStringView(text).mid(2);
    if (digits.isEmpty() || digits.size() > 16 || !isHexDigits(digits))
        return text;
    bool ok = false;
    const qulonglong number = digits.toULongLong(&ok, 16);
    return ok ? QString::number(number) : text;
}

}  // namespace

bool getKeyValue(Registry& registry, RegistryRoot root, const QString& keyPath, const QString& valueName,
                 QString& value)
{
    const std::optional<Registry::Handle> key = registry.open(root, keyPath);
    if (!key) {
        value.clear();
        return false;
    }
    const RegistryValue read = registry.queryValue(*key, valueName, kBufferSize);
    if (!read.ok) {
        value.clear();
        registry.close(*key);
        return false;
    }

    // A zeroed buffer receives the bytes; the reported length, not the bytes
    // written, decides where it is cut, and one terminating zero goes.
    QByteArray buffer(kBufferSize, '\0');
    std::copy_n(read.bytes.constData(), std::min<qint64>(read.bytes.size(), kBufferSize), buffer.data());
    buffer.truncate(std::clamp<qint64>(read.length, 0, kBufferSize));
    if (!buffer.isEmpty() && buffer.back() == '\0')
        buffer.chop(1);

    // One byte is one character, as the byte-wide registry calls deliver them.
    switch (read.type) {
    case kRegistryString: value = QString::fromLatin1(buffer); break;
    case kRegistryDword: {
        // Last byte first, each without a leading zero: 0x0105 reads "015",
        // as the reader always did; no caller relies on such a value.
        for (qsizetype i = buffer.size() - 1; i >= 0; --i)
            value += QString::number(uchar(buffer.at(i)), 16).toUpper();
        value = formatHexText(QStringLiteral("&h") + value);
        break;
    }
    default: break;
    }
    registry.close(*key);
    return true;
}

}  // namespace fotolista
