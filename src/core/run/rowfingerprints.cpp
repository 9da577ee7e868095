#include "core/run/rowfingerprints.h"

#include "core/base/caseblindfinder.h"
#include "core/base/relativenames.h"
#include "core/base/safewrite.h"
#include "core/run/imagepipeline.h"
#include "core/run/webcompanions.h"
#include "core/settings/jobsettings.h"
#include "core/watermark/placement.h"
#include "core/watermark/watermarkfiles.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fotolista {

namespace {

// The file: this mark, the number of rows, then one
// (key, fingerprint) triple of 64-bit numbers per row.
constexpr quint32 kMagic = 0x464c4631;  // "FLF1"

quint64 firstWord(const QByteArray& digest, int at)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | quint8(digest[at + i]);
    return v;
}

}  // namespace

void FingerprintBuilder::add(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    add(qint64(utf8.size()));
    m_bytes += utf8;
}

void FingerprintBuilder::add(qint64 number)
{
    m_bytes += QByteArray::number(number);
    m_bytes += '\0';
}

void FingerprintBuilder::addFile(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        add(QStringLiteral("none"));
        return;
    }
    add(info.size());
    add(info.lastModified().toMSecsSinceEpoch());
}

RowFingerprint FingerprintBuilder::result() const
{
    const QByteArray digest = QCryptographicHash::hash(m_bytes, QCryptographicHash::Sha256);
    return RowFingerprint{firstWord(digest, 0), firstWord(digest, 8)};
}

RowFingerprints::RowFingerprints(QString cacheFolder, const QString& destinationFolder)
{
    const QString folder = QDir::cleanPath(QFileInfo(destinationFolder).absoluteFilePath());
    const QByteArray name = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex();
    m_path = cacheFolder + QStringLiteral("/huellas/") + QString::fromLatin1(name);
}

quint64 RowFingerprints::keyOf(const QString& destinationText)
{
    return firstWord(QCryptographicHash::hash(destinationText.toUtf8(), QCryptographicHash::Sha1), 0);
}

bool RowFingerprints::load()
{
    m_rows.clear();
    m_changed = false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    quint32 magic = 0;
    quint32 count = 0;
    in >> magic >> count;
    // A count the file cannot hold is damage, not a reason to allocate.
    if (magic != kMagic || qint64(count) * 24 != file.size() - 8)
        return false;
    m_rows.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        quint64 key = 0;
        RowFingerprint fp;
        in >> key >> fp.high >> fp.low;
        m_rows.insert(key, fp);
    }
    if (in.status() != QDataStream::Ok) {
        m_rows.clear();
        return false;
    }
    return true;
}

bool RowFingerprints::save()
{
    if (!m_changed)
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kMagic << quint32(m_rows.size());
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        out << it.key() << it->high << it->low;
    if (out.status() != QDataStream::Ok || !writeFileSafely(m_path, bytes))
        return false;
    m_changed = false;
    return true;
}

std::optional<RowFingerprint> RowFingerprints::find(const QString& destinationText) const
{
    const auto it = m_rows.constFind(keyOf(destinationText));
    if (it == m_rows.cend())
        return std::nullopt;
    return *it;
}

void RowFingerprints::record(const QString& destinationText, RowFingerprint fingerprint)
{
    m_rows.insert(keyOf(destinationText), fingerprint);
    m_changed = true;
}

void RowFingerprints::forget(const QString& destinationText)
{
    m_changed = m_rows.remove(keyOf(destinationText)) || m_changed;
}

namespace {

void addSettings(FingerprintBuilder& f, const JobSettings& s)
{
    f.add(s.sourceFormat());
    f.add(qint64(s.jpegQuality()));
    f.add(qint64(s.fastRead()));
    f.add(qint64(s.autorotate()));
    f.add(qint64(s.optimizeJpeg()));
    f.add(qint64(s.writeWebp()));
    f.add(qint64(s.writeAvif()));
    f.add(qint64(s.largeWidth().value_or(0)));
    f.add(qint64(s.smallWidth()));
}

void addWatermark(FingerprintBuilder& f, const RowInputs& in)
{
    const JobSettings& s = in.settings;
    f.add(qint64(s.watermarkEnabled()));
    if (!s.watermarkEnabled())
        return;
    f.add(in.watermarkFolder);
    f.add(qint64(s.watermarkHeight()));
    f.add(qint64(s.watermarkInteriorOnly()));
    f.add(qint64(s.watermarkTransparency()));
    f.add(qint64(s.watermarkManualPlacement()));
    if (s.watermarkManualPlacement()) {
        const WatermarkPlacement p = in.placement.placement();
        for (const int v : {int(p.centred), p.left, p.top, p.alpha, int(s.fitMark())})
            f.add(qint64(v));
    }
    const auto fileIn = [&](const QString& name) {
        return in.finder.find(in.watermarkFolder, name).value_or(QString());
    };
    f.addFile(fileIn(watermarkfiles::band()));
    f.addFile(fileIn(watermarkfiles::mark()));
    if (s.watermarkInteriorOnly())
        return;
    // The pictures of the characters, found as the stamp finds them.
    for (const char32_t c : in.destinationText.toUcs4())
        if (const std::optional<QString> name = watermarkfiles::glyph(c))
            f.addFile(fileIn(*name));
}

}  // namespace

RowFingerprint rowFingerprint(const RowInputs& in)
{
    FingerprintBuilder f;
    f.add(QStringLiteral("%1.%2.%3")
              .arg(FOTOLISTA_VERSION_MAJOR)
              .arg(FOTOLISTA_VERSION_MINOR)
              .arg(FOTOLISTA_VERSION_PATCH));
    f.add(in.destinationText);
    f.add(in.sourcePath);
    f.addFile(in.sourcePath);
    addSettings(f, in.settings);
    addWatermark(f, in);
    const QString large = largeCopyPath(in.destinationFolder, in.destinationText);
    const QString small = smallCopyPath(in.destinationFolder, in.destinationText);
    f.addFile(large);
    f.addFile(small);
    // A companion not written (not smaller than its JPEG) is "none" here,
    // as it was when the row was recorded.
    for (const WebFormat format : companionFormats(in.settings)) {
        f.addFile(companionPath(large, format));
        f.addFile(companionPath(small, format));
    }
    // Only when asked for, so that turning it off leaves the rows made without it alone.
    if (in.settings.marketplaceCopy()) {
        f.add(QStringLiteral("tiendas"));
        f.add(qint64(in.settings.marketplaceSide()));
        f.addFile(marketplaceCopyPath(in.destinationFolder, in.destinationText));
    }
    return f.result();
}

QString defaultFingerprintFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/fotolista");
}

}  // namespace fotolista
