#include "ui/about/aboutwindow.h"

#include "core/base/uiservices.h"
#include "core/sysinfo/registry.h"
#include "core/sysinfo/sysinfolauncher.h"
#include "ui_aboutwindow.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace fotolista {

namespace {

// The program's emblem, drawn here so the window needs no picture file: a
// camera over a photo print, in the colours of a product shot.
QPixmap emblem()
{
    constexpr int kSide = 64;
    QPixmap picture(kSide, kSide);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // The print behind the camera, tilted like a photo on a table.
    p.save();
    p.translate(36, 30);
    p.rotate(-12);
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    p.setBrush(Qt::white);
    p.drawRect(-22, -22, 44, 36);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7C, 0xB3, 0xE0));
    p.drawRect(-19, -19, 38, 24);
    p.setBrush(QColor(0x4E, 0x8A, 0x3E));
    QPainterPath hills;
    hills.moveTo(-19, 5);
    hills.lineTo(-8, -8);
    hills.lineTo(2, 1);
    hills.lineTo(9, -5);
    hills.lineTo(19, 5);
    hills.closeSubpath();
    p.drawPath(hills);
    p.restore();

    // The camera body, its lens and flash.
    const QColor body(0x33, 0x3B, 0x47);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(12, 23, 10, 6), 2, 2);
    p.drawRoundedRect(QRectF(4, 27, 44, 30), 5, 5);
    p.setBrush(QColor(0xD9, 0xDD, 0xE3));
    p.drawEllipse(QPointF(26, 42), 11, 11);
    p.setBrush(body);
    p.drawEllipse(QPointF(26, 42), 8, 8);
    p.setBrush(QColor(0x5C, 0x9D, 0xD6));
    p.drawEllipse(QPointF(26, 42), 5, 5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(24, 40), 1.6, 1.6);
    p.setBrush(QColor(0xF2, 0xC1, 0x4E));
    p.drawRect(QRectF(39, 31, 6, 3));
    return picture;
}

}  // namespace

AboutWindow::AboutWindow(UiServices& services, Registry& registry, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::Acercade>()), m_services(services), m_registry(registry)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    // What the window shows of itself is set when it loads.
    setWindowTitle(QStringLiteral("Acerca del Autor."));
    m_ui->lblVersion->setText(QStringLiteral("Versión ") + QString::number(FOTOLISTA_VERSION_MAJOR) + QLatin1Char('.')
                              + QString::number(FOTOLISTA_VERSION_MINOR) + QLatin1Char('.')
                              + QString::number(FOTOLISTA_VERSION_PATCH));
    m_ui->lblTitle->setText(QStringLiteral("FOTOLISTA"));
    m_ui->Image1->setPixmap(emblem());

    connect(m_ui->cmdOK, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->cmdSysInfo, &QPushButton::clicked, this, &AboutWindow::startSystemInformation);
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::startSystemInformation()
{
    startSysInfo(m_services, m_registry, SysInfoEnvironment::system());
}

}  // namespace fotolista
