#include "DirectoryBrowser.h"

#include "DirectoryPaths.h"
#include "shell/WindowChrome.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString upEntry = QStringLiteral("..");

bool canOpen(const QFileInfo &folder)
{
    if (!folder.isDir() || !folder.isReadable())
        return false;
#ifdef Q_OS_UNIX
    // Without search permission the folder lists, but nothing in it opens.
    return folder.isExecutable();
#else
    return true;
#endif
}

QString reasonFolderClosed(const QString &path)
{
    const QFileInfo folder(path);
    if (!folder.exists())
        return QStringLiteral("The folder %1 does not exist any more.").arg(DirectoryPaths::native(path));
    if (!folder.isDir())
        return QStringLiteral("%1 is not a folder.").arg(DirectoryPaths::native(path));
    return QStringLiteral("The folder %1 cannot be opened: no permission to read it.")
        .arg(DirectoryPaths::native(path));
}

} // namespace

DirectoryBrowser::DirectoryBrowser(int number, const QString &start, QWidget *parent)
    : QWidget(parent)
{
    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("Drive%1").arg(number));
    // Long mount points must not widen the whole screen; the popup shows them whole.
    m_drives->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_drives->setMinimumContentsLength(8);
    m_current = new PathBox(this);
    m_current->setFocusPolicy(Qt::NoFocus);
    m_current->setFrame(false);
    m_directories = new QListWidget(this);
    m_directories->setObjectName(QStringLiteral("Dir%1").arg(number));
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("File%1").arg(number));
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(m_drives);
    layout->addWidget(m_current);
    layout->addWidget(m_directories, 5);
    layout->addWidget(m_files, 3);

    // Text as large as the rest of the screen's, and room for eight rows
    // between the two lists, so a folder can be found without scrolling.
    for (QWidget *list : std::initializer_list<QWidget *>{m_drives, m_current, m_directories, m_files})
        useListFont(list);
    for (QListWidget *list : {m_directories, m_files}) {
        // A long name is shortened in the middle rather than scrolled to.
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setTextElideMode(Qt::ElideMiddle);
        list->setUniformItemSizes(true);
        // Icons no taller than the text, so the rows stay as close as the text's.
        const int icon = QFontMetrics(list->font()).ascent();
        list->setIconSize(QSize(icon, icon));
    }

    setDrives(mountedDrives());
    if (!enter(start, false))
        enter(QDir::rootPath(), false);

    // Rows measured on a listed entry, icon and all.
    const QListWidgetItem sample(style()->standardIcon(QStyle::SP_DirIcon), QStringLiteral("Mg"));
    m_directories->addItem(new QListWidgetItem(sample));
    const int row = std::max(m_directories->sizeHintForRow(m_directories->count() - 1),
                             QFontMetrics(m_directories->font()).height());
    delete m_directories->takeItem(m_directories->count() - 1);
    m_directories->setMinimumHeight(5 * row + 2 * m_directories->frameWidth());
    m_files->setMinimumHeight(3 * row + 2 * m_files->frameWidth());

    connect(m_drives, &QComboBox::activated, this, [this](int index) { applyDrive(index, true); });
    connect(m_directories, &QListWidget::itemDoubleClicked, this, &DirectoryBrowser::openHighlighted);
    m_drives->installEventFilter(this);
    m_directories->installEventFilter(this);
}

QList<DirectoryBrowser::Drive> DirectoryBrowser::mountedDrives()
{
    QList<Drive> drives;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        // Containers mount single files too; only folders can be browsed.
        if (!QFileInfo(root).isDir())
            continue;
        if (std::any_of(drives.cbegin(), drives.cend(), [&](const Drive &d) { return d.root == root; }))
            continue;
        drives.append({root, DirectoryPaths::native(root)});
    }
    std::sort(drives.begin(), drives.end(), [](const Drive &a, const Drive &b) {
        const bool aRoot = QDir(a.root).isRoot();
        const bool bRoot = QDir(b.root).isRoot();
        if (aRoot != bRoot)
            return aRoot;
        return a.root.compare(b.root, Qt::CaseInsensitive) < 0;
    });
    return drives;
}

void DirectoryBrowser::setDrives(const QList<Drive> &drives)
{
    m_drives->clear();
    for (const Drive &drive : drives)
        m_drives->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), drive.caption, drive.root);
    if (!m_directory.isEmpty())
        showDriveOf(m_directory);
}

QString DirectoryBrowser::directory() const
{
    return DirectoryPaths::native(m_directory);
}

bool DirectoryBrowser::setDirectory(const QString &path)
{
    return enter(path, true);
}

bool DirectoryBrowser::chooseDrive(int index)
{
    m_drives->setCurrentIndex(index);
    return applyDrive(index, true);
}

bool DirectoryBrowser::applyDrive(int index, bool report)
{
    const QString root = m_drives->itemData(index).toString();
    const QStorageInfo volume(root);
    if (root.isEmpty() || !volume.isValid() || !volume.isReady() || !canOpen(QFileInfo(root))) {
        // The list goes back to the drive of the directory that stays.
        showDriveOf(m_directory);
        if (report)
            emit refused(QStringLiteral("The drive %1 is not ready. Insert its disk or choose another drive.")
                             .arg(m_drives->itemText(index)));
        return false;
    }
    return enter(root, report);
}

bool DirectoryBrowser::openHighlighted()
{
    const QListWidgetItem *item = m_directories->currentItem();
    if (!item)
        return false;
    const QString name = item->text();
    const QString target = name == upEntry ? QDir(m_directory).absolutePath() + QStringLiteral("/..")
                                           : QDir(m_directory).filePath(name);
    return setDirectory(target);
}

bool DirectoryBrowser::enter(const QString &path, bool report)
{
    const QString clean = QDir::cleanPath(QDir(QDir::fromNativeSeparators(path)).absolutePath());
    if (!canOpen(QFileInfo(clean))) {
        if (report)
            emit refused(reasonFolderClosed(clean));
        return false;
    }
    const bool changed = clean != m_directory;
    m_directory = clean;
    list();
    showDriveOf(clean);
    if (changed)
        emit directoryChanged(directory());
    return true;
}

void DirectoryBrowser::list()
{
    m_current->setText(directory());

    const QDir here(m_directory);
    m_directories->clear();
    if (!here.isRoot())
        m_directories->addItem(new QListWidgetItem(style()->standardIcon(QStyle::SP_FileDialogToParent), upEntry));
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const QString &name : here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        m_directories->addItem(new QListWidgetItem(folderIcon, name));
    m_directories->setCurrentRow(0);

    m_files->clear();
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const QString &name : here.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        m_files->addItem(new QListWidgetItem(fileIcon, name));
}

void DirectoryBrowser::showDriveOf(const QString &path)
{
    const int index = m_drives->findData(QStorageInfo(path).rootPath());
    if (index >= 0)
        m_drives->setCurrentIndex(index);
}

bool DirectoryBrowser::highlightFile(const QString &name)
{
    const QList<QListWidgetItem *> found = m_files->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    m_files->setCurrentItem(found.first());
    return true;
}

QString DirectoryBrowser::highlightedFile() const
{
    const QList<QListWidgetItem *> selected = m_files->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

bool DirectoryBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool enterKey = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (watched == m_drives && enterKey) {
        // Enter in the drive list moves there quietly; only a choice reports.
        applyDrive(m_drives->currentIndex(), false);
        return true;
    }
    if (watched == m_directories && enterKey) {
        openHighlighted();
        return true;
    }
    if (watched == m_directories && key == Qt::Key_Backspace) {
        setDirectory(QDir(m_directory).absolutePath() + QStringLiteral("/.."));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
