#include "cli/batchcommand.h"

#include "cli/cellscommand.h"
#include "cli/checkcommand.h"
#include "cli/consolehost.h"
#include "cli/watermarkcommand.h"
#include "core/base/safewrite.h"
#include "core/check/batchcheck.h"
#include "core/image/bitmap.h"
#include "core/job/jobfile.h"
#include "core/report/batchrecord.h"
#include "core/report/htmlreport.h"
#include "core/report/manifest.h"
#include "core/run/rundriver.h"
#include "core/settings/jobsettings.h"
#include "core/summary/errorlog.h"
#include "core/summary/runtotals.h"
#include "core/watermark/placement.h"
#include "core/workbook/celladdress.h"
#include "core/workbook/open/workbookfilereader.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <optional>
#include <vector>

namespace fotolista {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;

QString helpText()
{
    return QStringLiteral(
        "Uso:\n"
        "  fotolista-batch run LIBRO CARPETA_FUENTE CARPETA_DESTINO [opciones]\n"
        "  fotolista-batch run --job TRABAJO.fotolista [LIBRO CARPETA_FUENTE CARPETA_DESTINO] [opciones]\n"
        "  fotolista-batch check LIBRO CARPETA_FUENTE CARPETA_DESTINO [opciones]\n"
        "  fotolista-batch cells LIBRO\n"
        "  fotolista-batch watermark --text NOMBRE [--logo ARCHIVO] [--font FAMILIA]\n"
        "        [--text-colour #RRGGBB] [--band-colour #RRGGBB] [--large-width N] CARPETA\n"
        "  fotolista-batch --help | --version\n"
        "\n"
        "run   procesa el lote como el botón PROCESAR de la ventana: por cada fila del libro\n"
        "      escribe la imagen grande (NOMBRE.jpg) y la pequeña (pequeñas/NOMBRE_p.jpg),\n"
        "      anota en el registro las filas no procesadas y muestra el resumen al final.\n"
        "check comprueba el lote sin escribir nada: recorre el libro como run y escribe una línea\n"
        "      por hallazgo, FILA<TAB>TIPO<TAB>DETALLE, y al final «N filas: P problemas, Q avisos».\n"
        "      Problemas: falta-origen, origen-vacio, nombre-no-valido, destino-repetido, no-legible,\n"
        "      pisa-origen, datos-tras-fin.\n"
        "      Avisos: sobrescribe, origen-repetido, sin-usar (fila 0: la carpeta fuente), ambiguo,\n"
        "      otro-formato, espacios, extension-doble, se-amplia, codigo-largo, sin-glifo,\n"
        "      banda-estrecha (fila 0), marca-fuera.\n"
        "      Admite las opciones de run. Sale con 0 sin problemas, 1 con problemas y 2 si run no\n"
        "      empezaría.\n"
        "cells muestra cada celda no vacía de la hoja que lee el proceso: DIRECCIÓN<TAB>TEXTO.\n"
        "watermark crea la marca de agua propia de la tienda en CARPETA, nueva o vacía: agua.jpg (la\n"
        "      banda con el nombre o el logotipo), marca.png, un dibujo por carácter de los códigos (con\n"
        "      Á É Í Ó Ú Ü Ñ á é í ó ú ü ñ Ç ç - _ . + ( ) & # y el espacio) y la muestra previa.jpg y\n"
        "      temporal.jpg; luego se usa con --watermark CARPETA.\n"
        "\n"
        "LIBRO es un libro de Excel (.xls, .xlsx, .xlsm), de LibreOffice (.ods) o un texto\n"
        "separado por «;», «,» o tabuladores (.csv, .txt); se lee la hoja activa al guardarlo.\n"
        "El formato se reconoce por el contenido del archivo, no por su nombre.\n"
        "\n"
        "Opciones de run (entre paréntesis, el valor por omisión):\n"
        "  --job TRABAJO             toma los ajustes de un trabajo guardado (.fotolista); los argumentos\n"
        "                            y las opciones que siguen cambian los del trabajo\n"
        "  --save-job TRABAJO        guarda los ajustes con que se hará el lote en TRABAJO, y sigue\n"
        "  --origin CELDA            celda origen del primer nombre de imagen (F6)\n"
        "  --destination CELDA       celda destino del primer nombre final (A6)\n"
        "  --step N                  filas entre una fila y la siguiente (4)\n"
        "  --format jpg|tif|any      formato de las imágenes fuente (jpg); any: el nombre seguido de\n"
        "                            .jpg .jpeg .tif .tiff .png .webp .heic .heif o .avif, el primero\n"
        "                            que exista en ese orden; cada imagen se lee por su contenido\n"
        "  --quality alta|media|baja|muy-baja\n"
        "                            calidad JPEG de las imágenes escritas (media)\n"
        "  --large-width N           anchura de la imagen grande en píxeles (409)\n"
        "  --small-width N           anchura de la imagen pequeña en píxeles (145)\n"
        "  --watermark CARPETA       carpeta de la marca de agua (numeros/ junto al programa)\n"
        "  --no-watermark            sin marca de agua\n"
        "  --watermark-height N      altura de la banda de la marca (24)\n"
        "  --interior-only           sólo la marca interior, sin banda ni código\n"
        "  --transparency N          mezcla de la marca interior, 0 a 255 (50)\n"
        "  --mark IZQ,ARRIBA,ALFA    marca interior colocada a mano en (IZQ, ARRIBA), mezcla ALFA\n"
        "  --mark-centred ALFA       marca interior centrada, mezcla ALFA\n"
        "  --fit-mark                la marca colocada a mano que no cabe en una foto se mete dentro,\n"
        "                            a la misma distancia de los bordes más cercanos\n"
        "  --log FICHERO             registro de filas no procesadas (errores.txt en la carpeta actual)\n"
        "  --summary FICHERO         escribe también el resumen en FICHERO\n"
        "  --report FICHERO.html     escribe también el informe del lote, una página con cada fila y su foto\n"
        "  --manifest FICHERO.csv    escribe también una línea por fila: el destino y cada fichero escrito,\n"
        "                            con sus bytes, anchura y altura, o por qué no se escribió\n"
        "  --jobs N                  hilos que leen y reducen las imágenes (tantos como núcleos)\n"
        "  --fast                    lectura rápida: los JPEG se leen ya reducidos a escala\n"
        "  --only-changed            solo cambiadas: se saltan las filas cuyas dos copias ya se hicieron\n"
        "                            con la misma foto, los mismos ajustes y la misma marca\n"
        "  --no-autorotate           no gira las fotos según su orientación EXIF (sí lo hace por omisión)\n"
        "  --skip-blank-rows         salta las filas vacías y sigue hasta la última fila con datos\n"
        "                            (sin ella, el lote termina en la primera fila vacía)\n"
        "  --no-optimize             escribe los JPEG como antes, sin reducir su tamaño\n"
        "                            (los mismos píxeles, más bytes)\n"
        "  --marketplace N           también una copia cuadrada de N × N píxeles (500 a 5000; 1600 es\n"
        "                            lo habitual) para tiendas online, en tiendas/: sobre blanco, sin\n"
        "                            marca de agua, sin márgenes blancos y con el producto centrado\n"
        "  --webp                    escribe también cada copia como WebP (NOMBRE.webp),\n"
        "                            si ocupa menos que su JPEG\n"
        "  --avif                    escribe también cada copia como AVIF (NOMBRE.avif),\n"
        "                            si ocupa menos que su JPEG\n"
        "  --no-wait                 si otro lote escribe en la misma carpeta destino, no lo espera:\n"
        "                            termina con estado 2 sin escribir nada (por omisión, lo espera)\n"
        "  --quiet                   sin barra de progreso ni resumen en la salida\n"
        "  --help                    muestra esta ayuda\n"
        "  --version                 muestra la versión del programa\n"
        "\n"
        "Opciones de watermark (entre paréntesis, el valor por omisión):\n"
        "  --text NOMBRE             nombre de la tienda, en la banda y, sin logotipo, en la marca\n"
        "  --logo ARCHIVO            logotipo PNG, SVG o JPEG, con su transparencia, en la banda y la marca\n"
        "  --font FAMILIA            fuente instalada para el nombre y los caracteres (la del sistema)\n"
        "  --text-colour #RRGGBB     color del nombre y de los caracteres (#F4F6F8)\n"
        "  --band-colour #RRGGBB     color de la banda (#262E38)\n"
        "  --large-width N           anchura de la imagen grande para la que se hace la banda (409)\n"
        "\n"
        "Estado de salida: 0 todo escrito; 1 alguna fila no procesada, sin salida o sin escribir, filas\n"
        "con datos tras la fila vacía final o registro incompleto; 2 uso incorrecto, inicio rechazado,\n"
        "libro ilegible, registro que no se puede crear u otro lote en el destino con --no-wait (no se\n"
        "escribe nada); 130 interrumpido (Ctrl-C). watermark: 0 marca escrita; 1 no se pudo escribir\n"
        "(carpeta no vacía o sin permiso); 2 uso incorrecto o logotipo ilegible.\n");
}

struct RunOptions {
    QString workbook;
    QString source;
    QString destination;
    std::optional<CellPosition> origin;
    std::optional<CellPosition> destinationCell;
    QString originText;
    QString destinationText;
    std::optional<int> step;
    std::optional<QString> format;
    std::optional<JpegQuality> quality;
    std::optional<int> largeWidth;
    std::optional<int> smallWidth;
    std::optional<QString> watermark;
    bool noWatermark = false;
    std::optional<int> watermarkHeight;
    bool interiorOnly = false;
    bool fitMark = false;
    std::optional<int> transparency;
    std::optional<int> marketplace;
    std::optional<WatermarkPlacement> placement;
    QString log = QStringLiteral("errores.txt");
    QString summary;
    QString report;
    QString manifest;
    QString job;
    QString saveJob;
    int jobs = std::max(1, QThread::idealThreadCount());
    bool fastRead = false;
    bool onlyChanged = false;
    bool autorotate = true;
    bool skipBlankRows = false;
    bool optimize = true;
    bool webp = false;
    bool avif = false;
    bool noWait = false;
    bool quiet = false;
};

/// Column letters and row of an A1 address as the window's two text boxes hold them.
QPair<QString, QString> splitAddress(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z]+)([0-9]+)$"));
    const QRegularExpressionMatch m = re.match(text);
    return {m.captured(1).toUpper(), m.captured(2)};
}

std::optional<int> parseInt(const QString& text, int min, int max)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

/// The options of `run`; those with a value name take one.
const std::vector<QCommandLineOption>& runOptionList()
{
    static const std::vector<QCommandLineOption> options = [] {
        std::vector<QCommandLineOption> list;
        for (const char* name :
             {"origin",    "destination",      "step",         "format", "quality",      "large-width", "small-width",
              "watermark", "watermark-height", "transparency", "mark",   "mark-centred", "log",         "summary",
              "report",    "manifest",         "jobs",         "job",    "save-job",     "marketplace"})
            list.emplace_back(QString::fromLatin1(name), QString(), QStringLiteral("valor"));
        for (const char* name : {"no-watermark", "interior-only", "fit-mark", "fast", "only-changed", "no-autorotate",
                                 "skip-blank-rows", "no-optimize", "webp", "avif", "no-wait", "quiet"})
            list.emplace_back(QString::fromLatin1(name));
        return list;
    }();
    return options;
}

using OptionProblem = std::optional<QString>;

OptionProblem applyCellOption(const QString& option, const QString& v, RunOptions& o)
{
    const std::optional<CellPosition> cell = parseCellAddress(v);
    if (!cell || cell->row >= 32767)
        return QStringLiteral("la celda «%1» de %2 no es válida (por ejemplo F6)").arg(v, option);
    (option == QLatin1String("--origin") ? o.origin : o.destinationCell) = cell;
    (option == QLatin1String("--origin") ? o.originText : o.destinationText) = v;
    return std::nullopt;
}

OptionProblem applyChoiceOption(const QString& option, const QString& v, RunOptions& o)
{
    if (option == QLatin1String("--format")) {
        if (v.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0)
            o.format = QStringLiteral("jpg");
        else if (v.compare(QLatin1String("tif"), Qt::CaseInsensitive) == 0)
            o.format = QStringLiteral("tif");
        else if (v.compare(QLatin1String("any"), Qt::CaseInsensitive) == 0)
            o.format = QStringLiteral("any");
        else
            return QStringLiteral("el formato «%1» no es jpg, tif ni any").arg(v);
        return std::nullopt;
    }
    static const QHash<QString, JpegQuality> qualities{{QStringLiteral("alta"), JpegQuality::High},
                                                       {QStringLiteral("media"), JpegQuality::Medium},
                                                       {QStringLiteral("baja"), JpegQuality::Low},
                                                       {QStringLiteral("muy-baja"), JpegQuality::VeryLow}};
    const auto quality = qualities.constFind(v.toLower());
    if (quality == qualities.constEnd())
        return QStringLiteral("la calidad «%1» no es alta, media, baja ni muy-baja").arg(v);
    o.quality = *quality;
    return std::nullopt;
}

OptionProblem applyNumberOption(const QString& option, const QString& v, RunOptions& o)
{
    if (option == QLatin1String("--step")) {
        if (!(o.step = parseInt(v, 1, 32767)))
            return QStringLiteral("el salto «%1» debe ser un número entero entre 1 y 32767").arg(v);
    } else if (option == QLatin1String("--large-width") || option == QLatin1String("--small-width")) {
        const std::optional<int> w = parseInt(v, 1, 32767);
        if (!w)
            return QStringLiteral("la anchura «%1» de %2 debe ser un número entero entre 1 y 32767").arg(v, option);
        (option == QLatin1String("--large-width") ? o.largeWidth : o.smallWidth) = w;
    } else if (option == QLatin1String("--watermark-height")) {
        if (!(o.watermarkHeight = parseInt(v, -32768, 32767)))
            return QStringLiteral("la altura «%1» debe ser un número entero").arg(v);
    } else if (option == QLatin1String("--transparency")) {
        if (!(o.transparency = parseInt(v, 0, 255)))
            return QStringLiteral("la transparencia «%1» debe ser un número entero entre 0 y 255").arg(v);
    } else if (option == QLatin1String("--marketplace")) {
        if (!(o.marketplace = parseInt(v, kMarketplaceMinSide, kMarketplaceMaxSide)))
            return QStringLiteral("--marketplace espera el lado en píxeles, entre %1 y %2, no «%3»")
                .arg(kMarketplaceMinSide)
                .arg(kMarketplaceMaxSide)
                .arg(v);
    } else if (option == QLatin1String("--jobs")) {
        const auto jobs = parseInt(v, 1, 256);
        if (!jobs)
            return QStringLiteral("--jobs espera un número entre 1 y 256, no «%1»").arg(v);
        o.jobs = *jobs;
    }
    return std::nullopt;
}

OptionProblem applyMarkOption(const QString& option, const QString& v, RunOptions& o)
{
    if (option == QLatin1String("--mark-centred")) {
        const auto alpha = parseInt(v, 0, 255);
        if (!alpha)
            return QStringLiteral("--mark-centred espera una mezcla entre 0 y 255, no «%1»").arg(v);
        o.placement = WatermarkPlacement{true, 0, 0, *alpha};
        return std::nullopt;
    }
    const QStringList parts = v.split(QLatin1Char(','));
    const auto left = parts.size() == 3 ? parseInt(parts[0], 0, 32767) : std::nullopt;
    const auto top = parts.size() == 3 ? parseInt(parts[1], 0, 32767) : std::nullopt;
    const auto alpha = parts.size() == 3 ? parseInt(parts[2], 0, 255) : std::nullopt;
    if (!left || !top || !alpha)
        return QStringLiteral("--mark espera IZQ,ARRIBA,ALFA (por ejemplo 20,30,200), no «%1»").arg(v);
    o.placement = WatermarkPlacement{false, *left, *top, *alpha};
    return std::nullopt;
}

/// One option as given (`name` without its dashes), checked and stored.
OptionProblem applyOption(const QString& name, const QString& v, RunOptions& o)
{
    const QString option = QStringLiteral("--") + name;
    if (name == QLatin1String("origin") || name == QLatin1String("destination"))
        return applyCellOption(option, v, o);
    if (name == QLatin1String("format") || name == QLatin1String("quality"))
        return applyChoiceOption(option, v, o);
    if (name == QLatin1String("mark") || name == QLatin1String("mark-centred"))
        return applyMarkOption(option, v, o);
    if (name == QLatin1String("watermark")) {
        if (!QFileInfo(v).isDir())
            return QStringLiteral("la carpeta de la marca de agua «%1» no existe").arg(v);
        o.watermark = QFileInfo(v).absoluteFilePath();
    } else if (name == QLatin1String("log") || name == QLatin1String("summary") || name == QLatin1String("report")
               || name == QLatin1String("manifest") || name == QLatin1String("job")
               || name == QLatin1String("save-job")) {
        if (v.isEmpty())
            return QStringLiteral("falta el valor de la opción %1").arg(option);
        const QHash<QString, QString*> targets{
            {QStringLiteral("log"), &o.log},       {QStringLiteral("summary"), &o.summary},
            {QStringLiteral("report"), &o.report}, {QStringLiteral("manifest"), &o.manifest},
            {QStringLiteral("job"), &o.job},       {QStringLiteral("save-job"), &o.saveJob}};
        *targets.value(name) = v;
    } else if (name == QLatin1String("no-watermark")) {
        o.noWatermark = true;
    } else if (name == QLatin1String("interior-only")) {
        o.interiorOnly = true;
    } else if (name == QLatin1String("fit-mark")) {
        o.fitMark = true;
    } else if (name == QLatin1String("fast")) {
        o.fastRead = true;
    } else if (name == QLatin1String("only-changed")) {
        o.onlyChanged = true;
    } else if (name == QLatin1String("no-autorotate")) {
        o.autorotate = false;
    } else if (name == QLatin1String("skip-blank-rows")) {
        o.skipBlankRows = true;
    } else if (name == QLatin1String("no-optimize")) {
        o.optimize = false;
    } else if (name == QLatin1String("webp")) {
        o.webp = true;
    } else if (name == QLatin1String("avif")) {
        o.avif = true;
    } else if (name == QLatin1String("no-wait")) {
        o.noWait = true;
    } else if (name == QLatin1String("quiet")) {
        o.quiet = true;
    } else {
        return applyNumberOption(option, v, o);
    }
    return std::nullopt;
}

/// The arguments as the user typed the unknown option `name`.
QString typedOption(const QStringList& args, const QString& name)
{
    const QString dashed = QStringLiteral("--") + name;
    for (const QString& a : args)
        if (a == dashed || a.startsWith(dashed + QLatin1Char('=')))
            return dashed;
    return QStringLiteral("-") + name;
}

/// Parses the options of `run` (or `check`, which takes the same); on
/// failure returns the message for stderr.
std::optional<QString> parseRunOptions(const QString& command, const QStringList& args, RunOptions& o)
{
    QCommandLineParser parser;
    for (const QCommandLineOption& option : runOptionList())
        parser.addOption(option);
    if (!parser.parse(QStringList{QStringLiteral("fotolista-batch")} + args)) {
        if (!parser.unknownOptionNames().isEmpty())
            return QStringLiteral("opción desconocida: %1").arg(typedOption(args, parser.unknownOptionNames().first()));
        // The only other refusal: the last option lacks its value.
        return QStringLiteral("falta el valor de la opción %1").arg(args.last());
    }
    // In the order given, so a later option overrides an earlier one.
    QHash<QString, int> occurrences;
    for (const QString& name : parser.optionNames()) {
        const QString value = parser.values(name).value(occurrences[name]++);
        if (const OptionProblem problem = applyOption(name, value, o))
            return problem;
    }
    if (o.noWatermark && o.watermark)
        return QStringLiteral("--watermark y --no-watermark no pueden ir juntas");
    const QStringList positional = parser.positionalArguments();
    // A job holds the three paths: given, they take the place of the job's.
    if (positional.isEmpty() && !o.job.isEmpty())
        return std::nullopt;
    if (positional.size() != 3)
        return QStringLiteral("%1 espera LIBRO CARPETA_FUENTE CARPETA_DESTINO").arg(command);
    o.workbook = positional[0];
    o.source = positional[1];
    o.destination = positional[2];
    if (!QFileInfo(o.source).isDir())
        return QStringLiteral("la carpeta fuente «%1» no existe").arg(o.source);
    if (!QFileInfo(o.destination).isDir())
        return QStringLiteral("la carpeta destino «%1» no existe").arg(o.destination);
    return std::nullopt;
}

/// The options given, over the settings as they stand.
void applyOptions(const RunOptions& o, JobSettings& s)
{
    if (!o.workbook.isEmpty()) {
        s.setWorkbookPath(QFileInfo(o.workbook).absoluteFilePath());
        s.setSourceFolder(QDir::cleanPath(QFileInfo(o.source).absoluteFilePath()));
        s.setDestinationFolder(QDir::cleanPath(QFileInfo(o.destination).absoluteFilePath()));
    }
    if (o.origin) {
        const auto [column, row] = splitAddress(o.originText);
        s.setOriginColumn(column);
        s.setOriginRow(row);
    }
    if (o.destinationCell) {
        const auto [column, row] = splitAddress(o.destinationText);
        s.setDestinationColumn(column);
        s.setDestinationRow(row);
    }
    if (o.step)
        s.setRowStep(QString::number(*o.step));
    if (o.format == QLatin1String("tif"))
        s.chooseTiffSource();
    else if (o.format == QLatin1String("any"))
        s.chooseAnySource();
    else if (o.format)
        s.chooseJpgSource();
    if (o.quality)
        s.chooseQuality(*o.quality);
    if (o.largeWidth)
        s.setLargeWidth(qint16(*o.largeWidth));
    if (o.smallWidth)
        s.setSmallWidth(qint16(*o.smallWidth));
    if (o.watermark)
        s.useWatermarkFolder(*o.watermark);
    if (o.noWatermark)
        s.disableWatermark();
    if (o.watermarkHeight)
        s.setWatermarkHeight(*o.watermarkHeight);
    if (o.interiorOnly)
        s.setWatermarkInteriorOnly(true);
    if (o.transparency)
        s.setWatermarkTransparency(*o.transparency);
    if (o.placement)
        s.setWatermarkManualPlacement(true);
    if (o.fitMark)
        s.setFitMark(true);
    if (o.fastRead)
        s.setFastRead(true);
    if (o.onlyChanged)
        s.setOnlyChanged(true);
    if (!o.autorotate)
        s.setAutorotate(false);
    if (o.skipBlankRows)
        s.setSkipBlankRows(true);
    if (!o.optimize)
        s.setOptimizeJpeg(false);
    if (o.marketplace) {
        s.setMarketplaceCopy(true);
        s.setMarketplaceSide(*o.marketplace);
    }
    if (o.webp)
        s.setWriteWebp(true);
    if (o.avif)
        s.setWriteAvif(true);
}

/// The settings a window has once a workbook is chosen, then the job's, then
/// the options given; and where the mark goes when it is placed by hand. The
/// job saved when asked. Why they cannot be used, if they cannot.
std::optional<QString> settingsFor(const RunOptions& o, JobSettings& s, WatermarkPlacement& placement, QTextStream& err)
{
    s.restoreRunDefaults();
    if (!o.job.isEmpty()) {
        const JobLoad load = readJobFile(o.job);
        for (const QString& warning : load.warnings)
            err << QStringLiteral("fotolista-batch: aviso: el trabajo «%1»: %2").arg(o.job, warning) << Qt::endl;
        if (!load.job)
            return QStringLiteral("el trabajo «%1» no se puede usar: %2").arg(o.job, load.problem);
        if (const std::optional<WatermarkPlacement> p = applyJob(*load.job, s))
            placement = *p;
    }
    applyOptions(o, s);
    if (o.placement)
        placement = *o.placement;
    if (!o.job.isEmpty()) {
        if (const std::optional<QString> missing = missingJobPath(s))
            return *missing;
        if (!s.isWorkbookSet() || !s.isSourceFolderSet() || !s.isDestinationFolderSet())
            return QStringLiteral("el trabajo «%1» no tiene libro, carpeta fuente o carpeta destino").arg(o.job);
    }
    if (o.saveJob.isEmpty())
        return std::nullopt;
    QString problem;
    const std::optional<QByteArray> bytes = jobBytes(s, placement, &problem);
    if (!bytes || !writeJobFile(o.saveJob, *bytes, &problem))
        return QStringLiteral("no se puede guardar el trabajo en «%1»: %2").arg(o.saveJob, problem);
    return std::nullopt;
}

bool writeSummaryFile(const QString& path, const QStringList& lines)
{
    return writeFileSafely(path, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

/// settingsFor, its refusal said as the command says a mistake; the image
/// library is ready afterwards.
bool settingsOrExplain(const RunOptions& o, JobSettings& s, WatermarkPlacement& placement, QTextStream& err)
{
    initialiseImageLibrary();
    const std::optional<QString> problem = settingsFor(o, s, placement, err);
    if (problem)
        err << QStringLiteral("fotolista-batch: ") << *problem << Qt::endl;
    return !problem;
}

/// Parses the options of `command`; on a mistake says what it was and how to get help.
bool parseOrExplain(const QString& command, const QStringList& args, RunOptions& o, QTextStream& err)
{
    const std::optional<QString> problem = parseRunOptions(command, args, o);
    if (problem)
        err << QStringLiteral("fotolista-batch: ") << *problem << Qt::endl
            << QStringLiteral("Pruebe «fotolista-batch --help».") << Qt::endl;
    return !problem;
}

int runRunCommand(const QStringList& args, const QString& programFolder, QTextStream& out, QTextStream& err,
                  bool stderrIsTerminal)
{
    RunOptions o;
    if (!parseOrExplain(QStringLiteral("run"), args, o, err))
        return kExitUsage;
    // Said before anything is read or written, rather than a run with no log.
    if (const std::optional<QString> why = logCreationProblem(o.log)) {
        err << QStringLiteral("fotolista-batch: no se puede crear el registro «%1»: %2").arg(o.log, *why) << Qt::endl;
        return kExitUsage;
    }
    JobSettings settings(programFolder + QStringLiteral("/numeros"));
    WatermarkPlacement placed;
    if (!settingsOrExplain(o, settings, placed, err))
        return kExitUsage;

    ConsoleHost host(err, stderrIsTerminal && !o.quiet);
    WorkbookFileReader reader;
    FixedPlacement placement(placed);
    RunTotals totals;
    RunControl control;
    bool cancelled = false;
    host.onYield = [&] {
        if (g_interrupts > 0 && !cancelled) {
            cancelled = true;
            requestCancel(control, host);
        }
    };
    BatchRecord record;
    if (!o.report.isEmpty() || !o.manifest.isEmpty()) {
        // The report repeats the check's problems: checked as the run starts.
        WorkbookFileReader checkReader;
        record.begin(settings, o.report.isEmpty() ? CheckResult{} : checkBatch(settings, checkReader, &placement),
                     QDateTime::currentDateTime());
        host.onRow = [&record](const RowReport& row) { record.addRow(row); };
    }
    RunEnvironment env{settings, host, host, reader, placement, totals, control, o.log, o.jobs};
    env.waitForDestination = !o.noWait;
    RunDriver driver(std::move(env));
    const RunResult result = driver.run();
    host.finishProgress();
    record.finish(result);

    switch (result.end) {
    case RunEnd::Refused:
    case RunEnd::WorkbookUnreadable:
    case RunEnd::DestinationBusy: return kExitUsage;
    case RunEnd::Completed:
    case RunEnd::Stopped: break;
    }

    if (result.end == RunEnd::Stopped) {
        // Every row handled before Ctrl-C was written and listed: the totals
        // count them all.
        host.setRowCounters(result.rowsHandled, result.notProcessed, result.rowsHandled - result.notProcessed);
    }
    const QStringList lines = host.summaryLines(totals);
    if (!o.quiet) {
        for (const QString& line : lines)
            out << line << QLatin1Char('\n');
        out.flush();
    }
    if (!o.summary.isEmpty() && !writeSummaryFile(o.summary, lines))
        err << QStringLiteral("fotolista-batch: no se puede escribir el resumen en «%1»").arg(o.summary) << Qt::endl;
    if (!o.report.isEmpty() && !writeHtmlReport(record, o.report))
        err << QStringLiteral("fotolista-batch: no se puede escribir el informe en «%1»").arg(o.report) << Qt::endl;
    if (!o.manifest.isEmpty() && !writeManifest(record, o.manifest))
        err << QStringLiteral("fotolista-batch: no se puede escribir la lista de ficheros en «%1»").arg(o.manifest)
            << Qt::endl;

    if (result.end == RunEnd::Stopped)
        return kExitInterrupted;
    const bool everyRowWritten = result.notProcessed == 0 && result.withoutOutput == 0 && result.writeFailures == 0
                                 && result.rowsLeftAfterStop == 0 && result.logProblem.isEmpty();
    return everyRowWritten ? kExitOk : kExitRowsFailed;
}

int runCheck(const QStringList& args, const QString& programFolder, QTextStream& out, QTextStream& err)
{
    RunOptions o;
    if (!parseOrExplain(QStringLiteral("check"), args, o, err))
        return kExitUsage;
    JobSettings settings(programFolder + QStringLiteral("/numeros"));
    WatermarkPlacement placed;
    if (!settingsOrExplain(o, settings, placed, err))
        return kExitUsage;
    FixedPlacement placement(placed);
    return runCheckCommand(settings, placement, out, err);
}

}  // namespace

void noteInterrupt()
{
    if (g_interrupts < 1000)
        g_interrupts = g_interrupts + 1;
}

int runBatchCommand(const QStringList& arguments, const QString& programFolder, QTextStream& out, QTextStream& err,
                    bool stderrIsTerminal)
{
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help")
        || arguments.first() == QLatin1String("-h")) {
        (arguments.isEmpty() ? err : out) << helpText();
        return arguments.isEmpty() ? kExitUsage : kExitOk;
    }
    if (arguments.first() == QLatin1String("--version")) {
        out << QStringLiteral("fotolista-batch %1.%2.%3\n")
                   .arg(FOTOLISTA_VERSION_MAJOR)
                   .arg(FOTOLISTA_VERSION_MINOR)
                   .arg(FOTOLISTA_VERSION_PATCH);
        return kExitOk;
    }
    const QString command = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (command == QLatin1String("cells")) {
        if (rest.size() != 1) {
            err << QStringLiteral("fotolista-batch: cells espera un único LIBRO") << Qt::endl;
            return kExitUsage;
        }
        return runCellsCommand(rest.first(), out, err);
    }
    if (command == QLatin1String("watermark")) {
        if (rest.contains(QStringLiteral("--help"))) {
            out << helpText();
            return kExitOk;
        }
        return runWatermarkCommand(rest, programFolder, out, err);
    }
    if (command == QLatin1String("check")) {
        if (rest.contains(QStringLiteral("--help"))) {
            out << helpText();
            return kExitOk;
        }
        return runCheck(rest, programFolder, out, err);
    }
    if (command == QLatin1String("run")) {
        if (rest.contains(QStringLiteral("--help"))) {
            out << helpText();
            return kExitOk;
        }
        return runRunCommand(rest, programFolder, out, err, stderrIsTerminal);
    }
    err << QStringLiteral("fotolista-batch: orden desconocida: %1").arg(command) << Qt::endl
        << QStringLiteral("Pruebe «fotolista-batch --help».") << Qt::endl;
    return kExitUsage;
}

}  // namespace fotolista
