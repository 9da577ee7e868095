#include "cli/watermarkcommand.h"

#include "brand/shopbrand.h"
#include "cli/batchcommand.h"
#include "core/check/filesystemnames.h"
#include "core/image/bitmap.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QTextStream>

namespace fotolista {

namespace {

/// The brand the options describe; why they cannot, if they cannot.
std::optional<QString> brandFrom(const QCommandLineParser& parser, ShopBrand& brand)
{
    brand.name = parser.value(QStringLiteral("text"));
    if (brand.name.isEmpty() && !parser.isSet(QStringLiteral("logo")))
        return QStringLiteral("watermark necesita --text NOMBRE o --logo ARCHIVO");
    brand.logoPath = parser.value(QStringLiteral("logo"));
    if (!brand.logoPath.isEmpty() && !QFileInfo(brand.logoPath).isFile())
        return QStringLiteral("el logotipo «%1» no existe").arg(brand.logoPath);
    brand.fontFamily = parser.value(QStringLiteral("font"));
    if (!brand.fontFamily.isEmpty() && !QFontDatabase::families().contains(brand.fontFamily, Qt::CaseInsensitive))
        return QStringLiteral("la fuente «%1» no está instalada (fc-list : family las muestra)").arg(brand.fontFamily);
    for (const auto& [option, colour] : {std::pair{QStringLiteral("text-colour"), &brand.textColour},
                                         std::pair{QStringLiteral("band-colour"), &brand.bandColour}}) {
        if (!parser.isSet(option))
            continue;
        *colour = colourFromText(parser.value(option));
        if (!colour->isValid())
            return QStringLiteral("--%1 espera un color #RRGGBB, no «%2»").arg(option, parser.value(option));
    }
    if (parser.isSet(QStringLiteral("large-width"))) {
        bool ok = false;
        brand.largeWidth = parser.value(QStringLiteral("large-width")).toInt(&ok);
        if (!ok || brand.largeWidth < 100 || brand.largeWidth > 10000)
            return QStringLiteral("--large-width espera un número entero entre 100 y 10000, no «%1»")
                .arg(parser.value(QStringLiteral("large-width")));
    }
    if (parser.positionalArguments().size() != 1)
        return QStringLiteral("watermark espera una CARPETA");
    return std::nullopt;
}

}  // namespace

int runWatermarkCommand(const QStringList& args, const QString& programFolder, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    for (const char* name : {"text", "logo", "font", "text-colour", "band-colour", "large-width"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("valor")));
    ShopBrand brand;
    std::optional<QString> problem;
    if (!parser.parse(QStringList{QStringLiteral("fotolista-batch")} + args))
        problem = parser.errorText();
    else
        problem = brandFrom(parser, brand);
    if (problem) {
        err << QStringLiteral("fotolista-batch: ") << *problem << Qt::endl
            << QStringLiteral("Pruebe «fotolista-batch --help».") << Qt::endl;
        return kExitUsage;
    }
    initialiseImageLibrary();
    const QString folder = QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    const BrandPictures pictures = drawBrand(brand);
    if (!pictures.problem.isEmpty()) {
        err << QStringLiteral("fotolista-batch: ") << pictures.problem << Qt::endl;
        return kExitUsage;
    }
    const QImage sample(programFolder + QStringLiteral("/numeros/previa.jpg"));
    // The folder's own file system, once it exists; its parent's before.
    const QString existing = QFileInfo(folder).isDir() ? folder : QFileInfo(folder).absolutePath();
    const BrandFolderResult result =
        writeBrandFolder(pictures, sample, folder, brand.largeWidth, brand.bandHeight, foldsLetterCase(existing));
    if (!result.ok) {
        err << QStringLiteral("fotolista-batch: ") << result.message << Qt::endl;
        return kExitRowsFailed;
    }
    if (!result.refused.isEmpty())
        err << QStringLiteral("fotolista-batch: aviso: la carpeta no distingue mayúsculas de minúsculas; no se "
                              "escriben %1 y esas letras usarán el dibujo de la mayúscula")
                   .arg(result.refused.join(QStringLiteral(", ")))
            << Qt::endl;
    out << QStringLiteral("Marca de agua escrita en «%1»: agua.jpg (%2 × %3), marca.png (%4 × %5) y %6 caracteres.")
               .arg(folder)
               .arg(pictures.band.width())
               .arg(pictures.band.height())
               .arg(pictures.mark.width())
               .arg(pictures.mark.height())
               .arg(pictures.glyphs.size() - result.refused.size())
        << Qt::endl
        << QStringLiteral("Para usarla: fotolista-batch run LIBRO CARPETA_FUENTE CARPETA_DESTINO --watermark \"%1\" "
                          "--large-width %2")
               .arg(folder)
               .arg(brand.largeWidth)
        << Qt::endl;
    return kExitOk;
}

}  // namespace fotolista
