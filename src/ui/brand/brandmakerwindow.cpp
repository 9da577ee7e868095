#include "ui/brand/brandmakerwindow.h"

#include "core/base/uiservices.h"
#include "core/check/filesystemnames.h"
#include "core/settings/jobsettings.h"
#include "core/watermark/watermarkfiles.h"
#include "ui_brandmakerwindow.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace fotolista {

namespace {

/// A sample photo is kept at most this wide: detail enough for the preview
/// of any usual copy, and quick to stamp again as the user types.
constexpr int kMaxSampleWidth = 2000;

void paintSwatch(QPushButton* button, const QColor& colour)
{
    QPixmap swatch(28, 14);
    swatch.fill(colour);
    button->setIcon(QIcon(swatch));
    button->setText(colour.name(QColor::HexRgb).toUpper());
}

}  // namespace

BrandMakerWindow::BrandMakerWindow(UiServices& services, const JobSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::marcapropia>())
    , m_services(services)
    , m_transparency(settings.watermarkTransparency())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    const ShopBrand start;
    setTextColour(start.textColour);
    setBandColour(start.bandColour);
    m_ui->anchura->setValue(settings.largeWidth().value_or(start.largeWidth));
    m_sample = QImage(QDir(settings.defaultWatermarkFolder()).filePath(watermarkfiles::sample()));

    // A preview per change, drawn once the typing pauses.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(150);
    connect(&m_refresh, &QTimer::timeout, this, &BrandMakerWindow::refreshPreview);
    const auto later = [this] { m_refresh.start(); };
    connect(m_ui->nombre, &QLineEdit::textChanged, this, later);
    connect(m_ui->logo, &QLineEdit::textChanged, this, later);
    connect(m_ui->codigo, &QLineEdit::textChanged, this, later);
    connect(m_ui->fuente, &QFontComboBox::currentFontChanged, this, later);
    connect(m_ui->anchura, &QSpinBox::valueChanged, this, later);
    connect(m_ui->elegirlogo, &QPushButton::clicked, this, &BrandMakerWindow::chooseLogo);
    connect(m_ui->elegircarpeta, &QPushButton::clicked, this, &BrandMakerWindow::chooseFolder);
    connect(m_ui->otrafoto, &QPushButton::clicked, this, &BrandMakerWindow::chooseSamplePhoto);
    connect(m_ui->colortexto, &QPushButton::clicked, this, [this] { chooseColour(true); });
    connect(m_ui->colorbanda, &QPushButton::clicked, this, [this] { chooseColour(false); });
    connect(m_ui->crear, &QPushButton::clicked, this, &BrandMakerWindow::create);
    connect(m_ui->cerrar, &QPushButton::clicked, this, &QWidget::hide);
    refreshPreview();
}

BrandMakerWindow::~BrandMakerWindow() = default;

ShopBrand BrandMakerWindow::brand() const
{
    ShopBrand b;
    b.name = m_ui->nombre->text();
    b.logoPath = m_ui->logo->text();
    b.fontFamily = m_ui->fuente->currentFont().family();
    b.textColour = m_textColour;
    b.bandColour = m_bandColour;
    b.largeWidth = m_ui->anchura->value();
    return b;
}

void BrandMakerWindow::setTextColour(const QColor& colour)
{
    m_textColour = colour;
    paintSwatch(m_ui->colortexto, colour);
    m_refresh.start();
}

void BrandMakerWindow::setBandColour(const QColor& colour)
{
    m_bandColour = colour;
    paintSwatch(m_ui->colorbanda, colour);
    m_refresh.start();
}

bool BrandMakerWindow::useSamplePhoto(const QString& path)
{
    QString problem;
    const QImage photo = readBrandPicture(path, &problem, kMaxSampleWidth);
    if (photo.isNull()) {
        m_services.showMessage(problem, MessageButtons::Ok, MessageIcon::Warning);
        return false;
    }
    m_sample = photo;
    m_refresh.start();
    return true;
}

QImage BrandMakerWindow::preview()
{
    if (m_refresh.isActive()) {
        m_refresh.stop();
        refreshPreview();
    }
    return m_preview;
}

void BrandMakerWindow::refreshPreview()
{
    const ShopBrand b = brand();
    const BrandPictures pictures = drawBrand(b);
    m_ui->aviso->setText(pictures.problem);
    m_preview = stampedSample(pictures, m_sample, b.largeWidth, b.bandHeight, m_ui->codigo->text(), m_transparency);
    m_ui->previa->setPixmap(QPixmap::fromImage(m_preview));
}

void BrandMakerWindow::create()
{
    const QString typed = m_ui->carpeta->text();
    if (typed.isEmpty()) {
        m_services.showMessage(QStringLiteral("Elija la carpeta, nueva o vacía, donde crear la marca"),
                               MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    const QString folder = QDir::cleanPath(QFileInfo(typed).absoluteFilePath());
    const ShopBrand b = brand();
    const QString existing = QFileInfo(folder).isDir() ? folder : QFileInfo(folder).absolutePath();
    const BrandFolderResult result =
        writeBrandFolder(drawBrand(b), m_sample, folder, b.largeWidth, b.bandHeight, foldsLetterCase(existing));
    if (!result.ok) {
        m_services.showMessage(result.message, MessageButtons::Ok, MessageIcon::Critical);
        return;
    }
    if (!result.refused.isEmpty())
        m_services.showMessage(QStringLiteral("La carpeta no distingue mayúsculas de minúsculas: no se han escrito "
                                              "%1; esas letras usarán el dibujo de la mayúscula")
                                   .arg(result.refused.join(QStringLiteral(", "))),
                               MessageButtons::Ok, MessageIcon::Warning);
    const MessageAnswer use = m_services.showMessage(
        QStringLiteral("Marca de agua creada en «%1».\n¿Usarla en los próximos lotes, con la imagen grande de %2 "
                       "píxeles de ancho?")
            .arg(folder)
            .arg(b.largeWidth),
        MessageButtons::YesNo, MessageIcon::None);
    if (use == MessageAnswer::Yes)
        emit folderMade(folder, b.largeWidth);
}

void BrandMakerWindow::chooseLogo()
{
    const FileChoice choice = m_services.chooseFileToOpen(QStringLiteral("Logotipo de la tienda"),
                                                          QStringLiteral("Imágenes (*.png *.svg *.jpg *.jpeg)"));
    if (choice.status == FileChoice::Status::Chosen)
        m_ui->logo->setText(choice.path);
}

void BrandMakerWindow::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Carpeta de la marca de agua"));
    if (!folder.isEmpty())
        m_ui->carpeta->setText(folder);
}

void BrandMakerWindow::chooseSamplePhoto()
{
    const FileChoice choice = m_services.chooseFileToOpen(QStringLiteral("Foto para la muestra"),
                                                          QStringLiteral("Imágenes (*.jpg *.jpeg *.png)"));
    if (choice.status == FileChoice::Status::Chosen)
        useSamplePhoto(choice.path);
}

void BrandMakerWindow::chooseColour(bool text)
{
    const QColor chosen =
        QColorDialog::getColor(text ? m_textColour : m_bandColour, this,
                               text ? QStringLiteral("Color del texto") : QStringLiteral("Color de la banda"));
    if (!chosen.isValid())
        return;
    if (text)
        setTextColour(chosen);
    else
        setBandColour(chosen);
}

}  // namespace fotolista
