#include "ui/summary/summarywindow.h"

#include "core/base/desktopstarts.h"
#include "core/base/uiservices.h"
#include "ui_summarywindow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>

namespace fotolista {

namespace {

// Page positions in pixels from the window's left edge: 210 twips in view,
// -20000 twips out of it.
constexpr int kPageInView = 14;
constexpr int kPageOutOfView = -1333;

constexpr int kTagRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;

QColor colourOf(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

}  // namespace

SummaryWindow::SummaryWindow(UiServices& services, const RunTotals& totals, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::frmOptions>()), m_services(services)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    // A tab bar's tabs cannot be written in the form file.
    m_ui->tbsOptions->addTab(QStringLiteral("Grupo 1"));
    m_ui->tbsOptions->setTabToolTip(0, QStringLiteral("Set Options for Group 1"));
    // Long row texts scroll sideways instead of being cut short.
    m_ui->miarbol->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_pages = {m_ui->picOptions};
    m_ui->pageArea->installEventFilter(this);
    placePages();

    m_ui->Tleidon->setText(QString::number(totals.kbReadTotal));
    m_ui->Tcomprimidon->setText(QString::number(totals.kbWrittenTotal));

    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }

    connect(m_ui->tbsOptions, &QTabBar::currentChanged, this, &SummaryWindow::placePages);
    connect(m_ui->Command1, &QPushButton::clicked, this, &SummaryWindow::openLog);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &QWidget::hide);

    m_tree.setListener(this);
}

SummaryWindow::~SummaryWindow()
{
    m_tree.setListener(nullptr);
}

void SummaryWindow::showWithTotals(const RunTotals& totals)
{
    m_ui->Tleidon->setText(QString::number(totals.kbReadTotal) + QStringLiteral(" kb"));
    m_ui->Tcomprimidon->setText(QString::number(totals.kbWrittenTotal) + QStringLiteral(" kb"));
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void SummaryWindow::summaryCleared()
{
    m_rowItems.clear();
    m_ui->miarbol->clear();
    m_ui->Totales->setText(QStringLiteral("0"));
    m_ui->Noprocesadas->setText(QStringLiteral("0"));
    m_ui->procesadas->setText(QStringLiteral("0"));
}

void SummaryWindow::rootsAdded()
{
    const QList<SummaryEntry>& roots = m_tree.roots();
    for (qsizetype i = m_ui->miarbol->topLevelItemCount(); i < roots.size(); ++i)
        new QTreeWidgetItem(m_ui->miarbol, {roots[i].text});
}

void SummaryWindow::rowAdded(int rootNumber, const SummaryEntry& entry)
{
    QTreeWidgetItem* root = m_ui->miarbol->topLevelItem(rootNumber - 1);
    if (!root)
        return;
    auto* item = new QTreeWidgetItem(root, {entry.text});
    item->setForeground(0, colourOf(entry.colour));
    item->setData(0, kTagRole, entry.tag);
    item->setData(0, kKeyRole, entry.key);
    m_rowItems.insert(entry.key, item);
    // The user watching a run sees each row arrive.
    root->setExpanded(true);
}

void SummaryWindow::detailAdded(const QString& rowKey, const QString& text, quint32 colour)
{
    if (QTreeWidgetItem* row = m_rowItems.value(rowKey)) {
        auto* item = new QTreeWidgetItem(row, {text});
        if (colour != kEntryBlack)
            item->setForeground(0, colourOf(colour));
    }
}

void SummaryWindow::countersChanged()
{
    const SummaryCounters& counters = m_tree.counters();
    m_ui->Totales->setText(QString::number(counters.totales));
    m_ui->Noprocesadas->setText(QString::number(counters.noProcesadas));
    m_ui->procesadas->setText(QString::number(counters.procesadas.value_or(0)));
}

void SummaryWindow::placePages()
{
    // Pages are placed by hand, not by a layout: the selected one sits in
    // view and takes input, the others wait out of view, disabled.
    const QWidget* area = m_ui->pageArea;
    const int areaLeft = area->mapTo(this, QPoint(0, 0)).x();
    const int selected = m_ui->tbsOptions->currentIndex();
    for (int i = 0; i < m_pages.size(); ++i) {
        const bool inView = i == selected;
        const int left = (inView ? kPageInView : kPageOutOfView) - areaLeft;
        m_pages[i]->setGeometry(left, 0, area->width() - (kPageInView - areaLeft), area->height());
        m_pages[i]->setEnabled(inView);
    }
}

void SummaryWindow::selectNextTab()
{
    QTabBar* tabs = m_ui->tbsOptions;
    if (tabs->count() == 0)
        return;
    tabs->setCurrentIndex((tabs->currentIndex() + 1) % tabs->count());
    // Re-selecting the only tab changes no index, so place the pages here too.
    placePages();
}

void SummaryWindow::openLog()
{
    // The run writes "errores.txt" in the working folder; the viewer's own
    // failure is not reported: the log may simply not exist yet.
    viewErrorLog(m_services);
}

void SummaryWindow::keyPressEvent(QKeyEvent* event)
{
    // Only Ctrl held; Ctrl+Shift+Tab arrives as Backtab and is left alone.
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        selectNextTab();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool SummaryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->pageArea && event->type() == QEvent::Resize)
        placePages();
    return QWidget::eventFilter(watched, event);
}

}  // namespace fotolista
