#include "ui/pickers/folderpicker.h"

#include "ui_folderpicker.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>

namespace fotolista {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// Listing a folder needs both read and search rights; anything else would show
// an empty list for a folder that really has sub-folders.
bool canOpen(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QString rootOf(const QString& path)
{
    const QStorageInfo volume(path);
    return volume.isValid() ? cleanAbsolute(volume.rootPath()) : QDir::rootPath();
}

}  // namespace

FolderPicker::FolderPicker(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::FolderPicker>())
{
    m_ui->setupUi(this);
    m_ui->Dir1->installEventFilter(this);

    fillDrives();
    m_openFolder = cleanAbsolute(QDir::currentPath());
    selectDriveOf(m_openFolder);
    fillFolders();
    showOpenFolderPath();

    connect(m_ui->Drive1, &QComboBox::currentIndexChanged, this,
            [this](int index) { changeDrive(m_ui->Drive1->itemData(index).toString()); });
    connect(m_ui->Dir1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openEntry(m_ui->Dir1->row(item)); });
}

FolderPicker::~FolderPicker() = default;

bool FolderPicker::openFolderPath(const QString& path)
{
    if (path.isEmpty() || !canOpen(path))
        return false;
    m_openFolder = cleanAbsolute(path);
    selectDriveOf(m_openFolder);
    fillFolders();
    showOpenFolderPath();
    return true;
}

bool FolderPicker::changeDrive(const QString& rootPath)
{
    if (openFolderPath(rootPath))
        return true;
    // A volume that does not answer: the list goes back to where the open folder is, silently.
    selectDriveOf(m_openFolder);
    return false;
}

void FolderPicker::fillDrives()
{
    const QSignalBlocker blocker(m_ui->Drive1);
    m_ui->Drive1->clear();
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = cleanAbsolute(volume.rootPath());
        // Bind-mounted single files (containers mount /etc/hosts that way) are no drives.
        if (!volume.isValid() || !volume.isReady() || roots.contains(root) || !QFileInfo(root).isDir())
            continue;
        roots << root;
    }
    if (!roots.contains(QDir::rootPath()))
        roots << QDir::rootPath();
    roots.sort();
    for (const QString& root : roots) {
        const QString name = QStorageInfo(root).name();
        m_ui->Drive1->addItem(name.isEmpty() ? root : root + QStringLiteral("  [") + name + QStringLiteral("]"), root);
    }
}

void FolderPicker::selectDriveOf(const QString& path)
{
    const QSignalBlocker blocker(m_ui->Drive1);
    const QString root = rootOf(path);
    int index = m_ui->Drive1->findData(root);
    if (index < 0) {
        // Mounted after the list was made, or not ready then.
        m_ui->Drive1->addItem(root, root);
        index = m_ui->Drive1->count() - 1;
    }
    m_ui->Drive1->setCurrentIndex(index);
}

void FolderPicker::fillFolders()
{
    m_ui->Dir1->clear();
    const QDir dir(m_openFolder);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    if (!dir.isRoot()) {
        auto* up = new QListWidgetItem(folderIcon, QStringLiteral(".."), m_ui->Dir1);
        up->setData(kPathRole, cleanAbsolute(m_openFolder + QStringLiteral("/..")));
    }
    const QFileInfoList subFolders =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo& sub : subFolders) {
        auto* item = new QListWidgetItem(folderIcon, sub.fileName(), m_ui->Dir1);
        item->setData(kPathRole, cleanAbsolute(sub.absoluteFilePath()));
    }
}

void FolderPicker::showOpenFolderPath()
{
    QLabel* label = m_ui->openFolderLabel;
    label->setToolTip(m_openFolder);
    label->setText(label->fontMetrics().elidedText(m_openFolder, Qt::ElideMiddle, label->contentsRect().width()));
}

void FolderPicker::openEntry(int row)
{
    if (const QListWidgetItem* item = m_ui->Dir1->item(row))
        openFolderPath(item->data(kPathRole).toString());
}

void FolderPicker::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    showOpenFolderPath();
}

bool FolderPicker::eventFilter(QObject* watched, QEvent* event)
{
    // Return opens the highlighted folder, as a double-click does.
    if (watched == m_ui->Dir1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openEntry(m_ui->Dir1->currentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace fotolista
