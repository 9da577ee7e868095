#pragma once

#include "brand/shopbrand.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class marcapropia;
}

namespace fotolista {

class JobSettings;
class UiServices;

/// "Crear marca de agua propia...": the shop's name, logo, font, colours
/// and large width, with a live preview of a photo stamped as a run would
/// stamp it; "Crear la marca" writes the folder and offers to use it.
/// "Cerrar" hides the window; the close box destroys it.
class BrandMakerWindow : public QWidget {
    Q_OBJECT

public:
    /// The width and the blend start from `settings`; the sample is the
    /// default watermark folder's.
    BrandMakerWindow(UiServices& services, const JobSettings& settings, QWidget* parent = nullptr);
    ~BrandMakerWindow() override;

    ShopBrand brand() const;
    void setTextColour(const QColor& colour);
    void setBandColour(const QColor& colour);
    /// The photo the preview stamps; false, with the reason shown, when it cannot be read.
    bool useSamplePhoto(const QString& path);
    /// The preview as it stands (the pending one drawn first).
    QImage preview();
    /// "Crear la marca".
    void create();

signals:
    /// The folder was written and the user takes it, for copies `largeWidth` wide.
    void folderMade(const QString& folder, int largeWidth);

private:
    void refreshPreview();
    void chooseLogo();
    void chooseFolder();
    void chooseSamplePhoto();
    void chooseColour(bool text);

    std::unique_ptr<Ui::marcapropia> m_ui;
    UiServices& m_services;
    int m_transparency = 0;
    QColor m_textColour;
    QColor m_bandColour;
    QImage m_sample;
    QImage m_preview;
    QTimer m_refresh;
};

}  // namespace fotolista
