#include "ui/watermark/placementwindow.h"

#include "ui_placementwindow.h"

#include <QImage>
#include <QMouseEvent>
#include <QPixmap>

namespace fotolista {

PlacementWindow::PlacementWindow(QString markFolder, QString previewPath, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::Form2>())
    , m_markFolder(std::move(markFolder))
    , m_previewPath(std::move(previewPath))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    // Only a mouse click (which also ends a drag) rebuilds the preview; keys
    // and the wheel move the sliders without it.
    for (QSlider* slider : {m_ui->Slider1, m_ui->Slider2, m_ui->Slider3})
        slider->installEventFilter(this);
    connect(m_ui->Command1, &QPushButton::clicked, this, &PlacementWindow::accept);
    connect(m_ui->Command2, &QPushButton::clicked, this, &PlacementWindow::cancel);

    // Whatever the last refresh left, possibly in an earlier session.
    showPreviewFile();
}

PlacementWindow::~PlacementWindow() = default;

WatermarkPlacement PlacementWindow::placement()
{
    return WatermarkPlacement{m_ui->centrar->isChecked(), m_ui->Slider2->value(), m_ui->Slider3->value(),
                              m_ui->Slider1->value()};
}

void PlacementWindow::setPlacement(const WatermarkPlacement& p)
{
    m_ui->centrar->setChecked(p.centred);
    m_ui->Slider2->setValue(p.left);
    m_ui->Slider3->setValue(p.top);
    m_ui->Slider1->setValue(p.alpha);
    refresh();
}

bool PlacementWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton
        && (watched == m_ui->Slider1 || watched == m_ui->Slider2 || watched == m_ui->Slider3))
        refresh();
    return QWidget::eventFilter(watched, event);
}

void PlacementWindow::refresh()
{
    m_ui->Image1->clear();
    // A failed build leaves the picture empty rather than showing an older one.
    if (refreshPreview(m_markFolder, placement(), m_previewPath))
        showPreviewFile();
}

void PlacementWindow::showPreviewFile()
{
    // Read through QImage: QPixmap::load caches by name, size and a time in
    // whole seconds, and two quick refreshes would show the first again.
    QImage picture;
    if (picture.load(m_previewPath))
        m_ui->Image1->setPixmap(QPixmap::fromImage(picture));
    else
        m_ui->Image1->clear();
}

void PlacementWindow::accept()
{
    hide();
    emit accepted();
}

void PlacementWindow::cancel()
{
    emit cancelled();
    hide();
}

}  // namespace fotolista
