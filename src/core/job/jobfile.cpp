#include "core/job/jobfile.h"

#include "core/base/filesystem.h"
#include "core/base/safewrite.h"
#include "core/settings/jobsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

#include <cerrno>
#include <functional>

namespace fotolista {

namespace {

constexpr int kVersion = 1;
const QString kVersionKey = QStringLiteral("fotolista-trabajo");

/// What a setting's value may hold.
enum class Kind { Path, Text, Flag, Number, Choice, Placement };

/// One key of the file: how it is read from the settings and set on them.
/// `set` is false for a value it does not take.
struct Field {
    const char* key;
    Kind kind;
    std::function<QString(const JobSettings&, const WatermarkPlacement&)> get;
    std::function<bool(const QString&, JobSettings&, WatermarkPlacement&)> set;
};

QString flag(bool on)
{
    return on ? QStringLiteral("si") : QStringLiteral("no");
}

std::optional<bool> flagOf(const QString& v)
{
    if (v == QLatin1String("si") || v == QStringLiteral("sí"))
        return true;
    if (v == QLatin1String("no"))
        return false;
    return std::nullopt;
}

std::optional<qint64> numberOf(const QString& v, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (!ok || n < min || n > max || v.startsWith(QLatin1Char('+')) || v.contains(QLatin1Char(' ')))
        return std::nullopt;
    return n;
}

Field flagField(const char* key, bool (JobSettings::*get)() const, void (JobSettings::*set)(bool))
{
    return {key, Kind::Flag, [get](const JobSettings& s, const WatermarkPlacement&) { return flag((s.*get)()); },
            [set](const QString& v, JobSettings& s, WatermarkPlacement&) {
                const std::optional<bool> on = flagOf(v);
                if (on)
                    (s.*set)(*on);
                return on.has_value();
            }};
}

Field textField(const char* key, QString (JobSettings::*get)() const, void (JobSettings::*set)(const QString&))
{
    return {key, Kind::Text, [get](const JobSettings& s, const WatermarkPlacement&) { return (s.*get)(); },
            [set](const QString& v, JobSettings& s, WatermarkPlacement&) {
                (s.*set)(v);
                return true;
            }};
}

/// A folder or the workbook: empty while unset.
Field pathField(const char* key, QString (JobSettings::*get)() const, bool (JobSettings::*isSet)() const,
                void (JobSettings::*set)(const QString&), QString (*unset)())
{
    return {
        key, Kind::Path,
        [get, isSet](const JobSettings& s, const WatermarkPlacement&) { return (s.*isSet)() ? (s.*get)() : QString(); },
        [set, unset](const QString& v, JobSettings& s, WatermarkPlacement&) {
            (s.*set)(v.isEmpty() ? unset() : v);
            return true;
        }};
}

const QList<QPair<QString, JpegQuality>>& qualityNames()
{
    static const QList<QPair<QString, JpegQuality>> names{{QStringLiteral("alta"), JpegQuality::High},
                                                          {QStringLiteral("media"), JpegQuality::Medium},
                                                          {QStringLiteral("baja"), JpegQuality::Low},
                                                          {QStringLiteral("muy-baja"), JpegQuality::VeryLow}};
    return names;
}

Field formatField()
{
    return {"formato", Kind::Choice,
            [](const JobSettings& s, const WatermarkPlacement&) {
                const QString f = s.sourceFormat();
                return f == JobSettings::anySourceFormat() ? QStringLiteral("cualquiera")
                       : f == QLatin1String(".JPG")        ? QStringLiteral("jpg")
                                                           : QStringLiteral("tif");
            },
            [](const QString& v, JobSettings& s, WatermarkPlacement&) {
                if (v == QLatin1String("jpg"))
                    s.chooseJpgSource();
                else if (v == QLatin1String("tif"))
                    s.chooseTiffSource();
                else if (v == QLatin1String("cualquiera"))
                    s.chooseAnySource();
                else
                    return false;
                return true;
            }};
}

Field qualityField()
{
    return {"calidad", Kind::Choice,
            [](const JobSettings& s, const WatermarkPlacement&) {
                for (const auto& [name, q] : qualityNames())
                    if (s.isQualityChecked(q))
                        return name;
                return QString();
            },
            [](const QString& v, JobSettings& s, WatermarkPlacement&) {
                for (const auto& [name, q] : qualityNames())
                    if (v == name) {
                        s.chooseQuality(q);
                        return true;
                    }
                return false;
            }};
}

Field widthField(const char* key, bool large)
{
    return {key, Kind::Number,
            [large](const JobSettings& s, const WatermarkPlacement&) {
                if (!large)
                    return QString::number(s.smallWidth());
                return s.largeWidth() ? QString::number(*s.largeWidth()) : QString();
            },
            [large](const QString& v, JobSettings& s, WatermarkPlacement&) {
                if (v.isEmpty() && large)
                    return true;  // not set yet: the workbook's defaults stay
                const std::optional<qint64> w = numberOf(v, -32768, 32767);
                if (w)
                    large ? s.setLargeWidth(qint16(*w)) : s.setSmallWidth(qint16(*w));
                return w.has_value();
            }};
}

Field marketplaceSideField()
{
    return {"tiendas-lado", Kind::Number,
            [](const JobSettings& s, const WatermarkPlacement&) { return QString::number(s.marketplaceSide()); },
            [](const QString& v, JobSettings& s, WatermarkPlacement&) {
                const std::optional<qint64> side = numberOf(v, kMarketplaceMinSide, kMarketplaceMaxSide);
                return side && s.setMarketplaceSide(int(*side));
            }};
}

QList<Field> watermarkFields()
{
    return {
        {"carpeta-marca", Kind::Path,
         [](const JobSettings& s, const WatermarkPlacement&) {
             // The program's own folder is kept as empty, so the job still
             // finds it where another copy of the program is installed.
             return s.watermarkFolder() == s.defaultWatermarkFolder() ? QString() : s.watermarkFolder();
         },
         [](const QString& v, JobSettings& s, WatermarkPlacement&) {
             s.useWatermarkFolder(v.isEmpty() ? s.defaultWatermarkFolder() : v);
             return true;
         }},
        {"marca", Kind::Flag,
         [](const JobSettings& s, const WatermarkPlacement&) { return flag(s.watermarkEnabled()); },
         [](const QString& v, JobSettings& s, WatermarkPlacement&) {
             const std::optional<bool> on = flagOf(v);
             if (on == false)
                 s.disableWatermark();
             else if (on == true && !s.watermarkEnabled())
                 s.useWatermarkFolder(s.watermarkFolder());
             return on.has_value();
         }},
        {"altura-marca", Kind::Number,
         [](const JobSettings& s, const WatermarkPlacement&) { return QString::number(s.watermarkHeight()); },
         [](const QString& v, JobSettings& s, WatermarkPlacement&) {
             const std::optional<qint64> h = numberOf(v, -2147483647 - 1, 2147483647);
             if (h)
                 s.setWatermarkHeight(qint32(*h));
             return h.has_value();
         }},
        flagField("solo-interior", &JobSettings::watermarkInteriorOnly, &JobSettings::setWatermarkInteriorOnly),
        {"transparencia", Kind::Number,
         [](const JobSettings& s, const WatermarkPlacement&) { return QString::number(s.watermarkTransparency()); },
         [](const QString& v, JobSettings& s, WatermarkPlacement&) {
             const std::optional<qint64> t = numberOf(v, 0, 255);
             if (t)
                 s.setWatermarkTransparency(int(*t));
             return t.has_value();
         }},
    };
}

/// "no", "centrada,ALFA" or "IZQ,ARRIBA,ALFA", as the command's --mark-centred and --mark.
Field placementField()
{
    return {"colocacion", Kind::Placement,
            [](const JobSettings& s, const WatermarkPlacement& p) {
                if (!s.watermarkManualPlacement())
                    return QStringLiteral("no");
                if (p.centred)
                    return QStringLiteral("centrada,%1").arg(p.alpha);
                return QStringLiteral("%1,%2,%3").arg(p.left).arg(p.top).arg(p.alpha);
            },
            [](const QString& v, JobSettings& s, WatermarkPlacement& p) {
                if (v == QLatin1String("no")) {
                    s.setWatermarkManualPlacement(false);
                    return true;
                }
                const QStringList parts = v.split(QLatin1Char(','));
                const bool centred = parts.size() == 2 && parts[0] == QLatin1String("centrada");
                if (!centred && parts.size() != 3)
                    return false;
                const auto left = centred ? 0 : numberOf(parts[0], 0, WatermarkPlacement::kMaxLeft);
                const auto top = centred ? 0 : numberOf(parts[1], 0, WatermarkPlacement::kMaxTop);
                const auto alpha = numberOf(parts.constLast(), 0, WatermarkPlacement::kMaxAlpha);
                if (!left || !top || !alpha)
                    return false;
                p = WatermarkPlacement{centred, int(*left), int(*top), int(*alpha)};
                s.setWatermarkManualPlacement(true);
                return true;
            }};
}

/// Every key, in the order a job is applied: the workbook first, since
/// choosing it brings back the default widths.
const QList<Field>& fields()
{
    static const QList<Field> all = [] {
        QList<Field> f{
            {"libro", Kind::Path,
             [](const JobSettings& s, const WatermarkPlacement&) {
                 return s.isWorkbookSet() ? s.workbookPath() : QString();
             },
             [](const QString& v, JobSettings& s, WatermarkPlacement&) {
                 // Only a chosen workbook brings the default widths back, as in
                 // the window; a job with none keeps the widths it states.
                 if (!v.isEmpty())
                     s.restoreRunDefaults();
                 s.setWorkbookPath(v.isEmpty() ? JobSettings::unsetWorkbookText() : v);
                 return true;
             }},
            pathField("fuente", &JobSettings::sourceFolder, &JobSettings::isSourceFolderSet,
                      &JobSettings::setSourceFolder, &JobSettings::unsetSourceFolderText),
            pathField("destino", &JobSettings::destinationFolder, &JobSettings::isDestinationFolderSet,
                      &JobSettings::setDestinationFolder, &JobSettings::unsetDestinationFolderText),
            textField("columna-origen", &JobSettings::originColumn, &JobSettings::setOriginColumn),
            textField("fila-origen", &JobSettings::originRow, &JobSettings::setOriginRow),
            textField("columna-destino", &JobSettings::destinationColumn, &JobSettings::setDestinationColumn),
            textField("fila-destino", &JobSettings::destinationRow, &JobSettings::setDestinationRow),
            textField("salto", &JobSettings::rowStep, &JobSettings::setRowStep),
            formatField(),
            qualityField(),
            widthField("anchura-grande", true),
            widthField("anchura-pequena", false),
        };
        f << watermarkFields() << placementField()
          << flagField("ajustar-marca", &JobSettings::fitMark, &JobSettings::setFitMark)
          << flagField("lectura-rapida", &JobSettings::fastRead, &JobSettings::setFastRead)
          << flagField("girar-exif", &JobSettings::autorotate, &JobSettings::setAutorotate)
          << flagField("solo-cambiadas", &JobSettings::onlyChanged, &JobSettings::setOnlyChanged)
          << flagField("saltar-vacias", &JobSettings::skipBlankRows, &JobSettings::setSkipBlankRows)
          << flagField("tamano-minimo", &JobSettings::optimizeJpeg, &JobSettings::setOptimizeJpeg)
          << flagField("tiendas", &JobSettings::marketplaceCopy, &JobSettings::setMarketplaceCopy)
          << marketplaceSideField() << flagField("webp", &JobSettings::writeWebp, &JobSettings::setWriteWebp)
          << flagField("avif", &JobSettings::writeAvif, &JobSettings::setWriteAvif);
        return f;
    }();
    return all;
}

const Field* fieldNamed(const QString& key)
{
    for (const Field& f : fields())
        if (key == QLatin1String(f.key))
            return &f;
    return nullptr;
}

/// The lines of the text, each without its line end; a version line first.
std::optional<QString> checkVersion(const QString& key, const QString& value)
{
    if (key != kVersionKey)
        return QStringLiteral("no es un trabajo de Fotolista (falta la línea «%1=%2» al principio)")
            .arg(kVersionKey)
            .arg(kVersion);
    const bool newer = value.toInt() > kVersion;
    if (value != QString::number(kVersion))
        return newer ? QStringLiteral("lo ha escrito una versión más nueva de Fotolista (versión %1)").arg(value)
                     : QStringLiteral("la versión «%1» no es válida").arg(value);
    return std::nullopt;
}

}  // namespace

JobLoad parseJob(const QByteArray& bytes, const QString& jobFolder)
{
    JobLoad load;
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError() || bytes.contains('\0')) {
        load.problem = QStringLiteral("no es un archivo de texto");
        return load;
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    JobFile job;
    JobSettings scratch(QStringLiteral("/"));
    WatermarkPlacement placement;
    bool versionSeen = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        QString value = equals < 0 ? QString() : line.mid(equals + 1);
        const QString where = QStringLiteral("línea %1").arg(n + 1);
        if (!versionSeen) {
            if (const std::optional<QString> why = checkVersion(key, value)) {
                load.problem = *why;
                return load;
            }
            versionSeen = true;
            continue;
        }
        const Field* field = equals < 0 ? nullptr : fieldNamed(key);
        if (!field) {
            load.warnings << QStringLiteral("%1: se ignora «%2», que no es una clave de los trabajos").arg(where, key);
            continue;
        }
        if (value.contains(QLatin1Char('\r'))) {
            load.problem = QStringLiteral("%1: el valor de «%2» lleva un retorno de carro").arg(where, key);
            return load;
        }
        if (field->kind == Kind::Path && !value.isEmpty() && QDir::isRelativePath(value))
            value = QDir::cleanPath(QDir(jobFolder).absoluteFilePath(value));
        if (!field->set(value, scratch, placement)) {
            load.problem = QStringLiteral("%1: el valor «%2» de «%3» no es válido").arg(where, value, key);
            return load;
        }
        job.values.append({key, value});
    }
    if (!versionSeen) {
        load.problem = checkVersion(QString(), QString()).value();
        return load;
    }
    load.job = std::move(job);
    return load;
}

JobLoad readJobFile(const QString& path)
{
    JobLoad load;
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        load.problem = QStringLiteral("no se puede leer");
        return load;
    }
    const QByteArray bytes = file.read(kMaxJobFileBytes + 1);
    if (bytes.size() > kMaxJobFileBytes) {
        load.problem = QStringLiteral("pasa de 1 MB, y un trabajo ocupa unos cientos de bytes");
        return load;
    }
    return parseJob(bytes, info.absolutePath());
}

std::optional<QByteArray> jobBytes(const JobSettings& settings, const WatermarkPlacement& placement, QString* problem)
{
    QString text = QStringLiteral("# Trabajo de Fotolista: ábralo en el programa o con "
                                  "«fotolista-batch run --job ARCHIVO».\n%1=%2\n")
                       .arg(kVersionKey)
                       .arg(kVersion);
    for (const Field& f : fields()) {
        const QString value = f.get(settings, placement);
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'))) {
            if (problem)
                *problem = QStringLiteral("el valor de «%1» lleva un salto de línea y no se puede guardar")
                               .arg(QLatin1String(f.key));
            return std::nullopt;
        }
        text += QLatin1String(f.key) + QLatin1Char('=') + value + QLatin1Char('\n');
    }
    return text.toUtf8();
}

std::optional<WatermarkPlacement> applyJob(const JobFile& job, JobSettings& settings)
{
    WatermarkPlacement placement;
    bool placed = false;
    for (const Field& f : fields()) {
        for (const auto& [key, value] : job.values) {
            if (key != QLatin1String(f.key))
                continue;
            f.set(value, settings, placement);
            placed = placed || f.kind == Kind::Placement;
        }
    }
    if (!placed || !settings.watermarkManualPlacement())
        return std::nullopt;
    return placement;
}

std::optional<QString> missingJobPath(const JobSettings& s)
{
    if (s.isWorkbookSet() && !QFileInfo(s.workbookPath()).isFile())
        return QStringLiteral("el libro «%1» no existe").arg(s.workbookPath());
    if (s.isSourceFolderSet() && !QFileInfo(s.sourceFolder()).isDir())
        return QStringLiteral("la carpeta fuente «%1» no existe").arg(s.sourceFolder());
    if (s.isDestinationFolderSet() && !QFileInfo(s.destinationFolder()).isDir())
        return QStringLiteral("la carpeta destino «%1» no existe").arg(s.destinationFolder());
    if (s.watermarkEnabled() && !QFileInfo(s.watermarkFolder()).isDir())
        return QStringLiteral("la carpeta de la marca de agua «%1» no existe").arg(s.watermarkFolder());
    return std::nullopt;
}

bool writeJobFile(const QString& path, const QByteArray& bytes, QString* problem)
{
    if (writeFileSafely(path, bytes))
        return true;
    if (problem)
        *problem = systemErrorText(errno);
    return false;
}

}  // namespace fotolista
