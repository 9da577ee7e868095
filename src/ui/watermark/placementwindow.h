#pragma once

#include "core/watermark/placement.h"
#include "core/watermark/preview.h"

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class Form2;
}

namespace fotolista {

/// Places the interior mark by hand and previews it on the sample picture.
/// Its sliders and check box are the placement the run reads while the window
/// exists; a click on a slider rebuilds the preview. Its buttons only hide it;
/// the close box destroys it with its values.
class PlacementWindow : public QWidget, public PlacementSource {
    Q_OBJECT

public:
    /// `markFolder` holds the sample and the mark (the default watermark
    /// folder); `previewPath` is where the preview is written and read back
    /// (see previewPathFor). The last preview written there is shown at once.
    PlacementWindow(QString markFolder, QString previewPath, QWidget* parent = nullptr);
    ~PlacementWindow() override;

    /// The sliders and the check box as they stand now.
    WatermarkPlacement placement() override;
    /// Sets the sliders and the check box, as a job gives them, and redraws the preview.
    void setPlacement(const WatermarkPlacement& placement);

signals:
    /// "Aceptar": sent after the window has hidden.
    void accepted();
    /// "Cancelar": sent before the window hides.
    void cancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void showPreviewFile();
    void accept();
    void cancel();

    std::unique_ptr<Ui::Form2> m_ui;
    QString m_markFolder;
    QString m_previewPath;
};

}  // namespace fotolista
