#include "SaveForm.h"

#include "ReadForm.h"
#include "shell/Modsavemodule.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"
#include "shell/WindowChrome.h"

#include <QDir>
#include <QKeyEvent>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

SaveForm::SaveForm(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("saveform"));
    setWindowTitle(QStringLiteral("Form1"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("File1"));
    m_list->setMinimumSize(560, 300);
    useListFont(m_list);
    auto *path = new PathBox(this);
    path->setToolTipLead(tr("Click here, or press Enter, to read the picked file"));
    m_path = path;
    m_path->setObjectName(QStringLiteral("Text1"));
    onBoxActivated(m_path, [this] { openPicked(true); });
    auto *readButton = makeColouredButton(this, "readmail", QStringLiteral("&Read Saved File"), {128, 255, 128});
    auto *deleteButton = makeColouredButton(this, "cmddelete", QStringLiteral("&Delete Message"), {255, 192, 128});
    auto *exitButton = makeColouredButton(this, "exit", QStringLiteral("Return to &MainMenu"), modUIColorPalette::red);

    layout->addWidget(makeHeading(this, "Label1", tr("Saved Messages"), 18), 0, 0, 1, 3);
    layout->addWidget(m_list, 1, 0, 1, 3);
    layout->addWidget(m_path, 2, 0, 1, 3);
    layout->addWidget(readButton, 3, 0);
    layout->addWidget(deleteButton, 3, 1);
    layout->addWidget(exitButton, 3, 2);

    // Search, below the archive's own controls.
    m_searchBox = new QLineEdit(this);
    m_searchBox->setObjectName(QStringLiteral("searchbox"));
    m_searchBox->setPlaceholderText(tr("any text in To, Subject, Message or From"));
    m_searchBox->setClearButtonEnabled(true);
    useListFont(m_searchBox);
    auto *searchLabel = new QLabel(tr("Fi&nd in saved and received mail:"), this);
    searchLabel->setObjectName(QStringLiteral("searchlabel"));
    searchLabel->setBuddy(m_searchBox);
    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("searchresults"));
    m_results->setHeaderLabels({tr("Date"), tr("Where"), tr("From"), tr("To"), tr("Subject")});
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setMinimumHeight(150);
    // Column widths from the rows in sight and a few more, not from every
    // one of thousands found.
    m_results->header()->setResizeContentsPrecision(100);
    useListFont(m_results);
    m_searchStatus = new QLabel(this);
    m_searchStatus->setObjectName(QStringLiteral("searchstatus"));
    m_searchStatus->setWordWrap(true);
    auto *readFoundButton =
        makeColouredButton(this, "readfound", tr("Read F&ound Message"), {128, 255, 128});
    layout->addWidget(searchLabel, 4, 0);
    layout->addWidget(m_searchBox, 4, 1, 1, 2);
    layout->addWidget(m_results, 5, 0, 1, 3);
    layout->addWidget(m_searchStatus, 6, 0, 1, 2);
    layout->addWidget(readFoundButton, 6, 2);
    connect(m_searchBox, &QLineEdit::textChanged, this, &SaveForm::search);
    // Up and Down walk the messages found, Enter opens the one picked, so
    // the hands can stay on the keys while searching.
    m_searchBox->installEventFilter(this);
    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] {
        if (!m_found.isEmpty())
            openFound();
    });
    connect(m_results, &QTreeWidget::itemActivated, this, &SaveForm::openFound);
    connect(readFoundButton, &QPushButton::clicked, this, &SaveForm::openFound);

    connect(m_list, &QListWidget::currentItemChanged, this, &SaveForm::pickFile);
    connect(m_list, &QListWidget::itemActivated, this, [this] { openPicked(false); });
    connect(readButton, &QPushButton::clicked, this, [this] { openPicked(false); });
    connect(deleteButton, &QPushButton::clicked, this, &SaveForm::deletePicked);
    connect(exitButton, &QPushButton::clicked, this, &SaveForm::exitToMainMenu);

    // Load steps.
    if (const auto directory = m_context.files.readLine(Setting::SaveDir)) {
        m_directory = *directory;
        if (!QFileInfo(m_directory).isDir())
            m_context.prompter.inform(tr("The save folder %1 does not exist. Choose it again in the directory setup.")
                                          .arg(QDir::toNativeSeparators(m_directory)),
                                      Prompter::Icon::Exclamation);
    } else {
        m_context.prompter.inform(tr("No save folder is set (%1 is missing). Choose one in the directory setup.")
                                      .arg(QDir::toNativeSeparators(m_context.files.path(Setting::SaveDir))),
                                  Prompter::Icon::Exclamation);
    }
    refreshList();
    searchCache(m_context);
    m_search = m_context.messageSearch;
    // The worker says when it has read more or seen a change. While it is
    // still reading it says so every tenth of a second; a long list is made
    // again at most four times a second then, so typing stays quick.
    auto *showSoon = new QTimer(this);
    showSoon->setSingleShot(true);
    connect(showSoon, &QTimer::timeout, this, [this] { showFound(true); });
    connect(m_search.get(), &SearchCache::updated, this, [this, showSoon] {
        if (!showSoon->isActive())
            showSoon->start(m_search->isReady() ? 0 : 250);
    });
    m_context.navigator.load<ReadForm>();
    removeCaptionBar(this);
}

void SaveForm::refreshList()
{
    m_list->clear();
    if (!m_directory.isEmpty())
        m_list->addItems(QDir(m_directory).entryList(QDir::Files, QDir::Name));
}

void SaveForm::pickFile()
{
    m_path->clear();
    if (m_list->currentItem())
        m_path->setText(m_directory + QDir::separator() + m_list->currentItem()->text());
}

void SaveForm::openPicked(bool fromPathBox)
{
    if (m_path->text().isEmpty()) {
        if (fromPathBox) {
            m_context.prompter.inform(QStringLiteral("No file picked. Please select a file."),
                                      Prompter::Icon::Exclamation, QStringLiteral("Error"));
            return;
        }
        m_context.prompter.inform(QStringLiteral(" No file picked Error has been committed"));
        m_context.navigator.unload<SaveForm>();
        returnToMainMenu(m_context);
        return;
    }
    QFile saved(m_path->text());
    if (const Outcome opened = RegularFile::openForReading(saved); !opened) {
        m_context.prompter.inform(tr("The saved message cannot be read: %1").arg(opened.error()),
                                  Prompter::Icon::Exclamation);
        return;
    }
    handToReader(saved.readAll() + "\r\n", tr("The saved message cannot be handed to the reader: %1"));
}

void SaveForm::handToReader(const QByteArray &record, const QString &cannotHand)
{
    if (const Outcome handed = m_context.files.writeBytes(Setting::SavedMessageHandOver, record); !handed) {
        m_context.prompter.inform(cannotHand.arg(handed.error()), Prompter::Icon::Exclamation);
        return;
    }
    Navigator &navigator = m_context.navigator;
    navigator.unload<SaveForm>();
    navigator.unload<ReadForm>();
    navigator.open<ReadForm>();
}

void SaveForm::deletePicked()
{
    if (!m_list->currentItem())
        return;
    const bool deleted = QFile::remove(QDir(m_directory).filePath(m_list->currentItem()->text()));
    if (deleted && m_context.unattended)
        m_context.unattended->record(tr("deleted saved message %1 for good").arg(m_list->currentItem()->text()));
    m_path->clear();
    if (deleted)
        m_context.prompter.inform(QStringLiteral("file deleted successfully"));
    refreshList();
}

SearchCache &SaveForm::searchCache(DeskContext &context)
{
    if (!context.messageSearch)
        context.messageSearch = std::make_shared<SearchCache>();
    context.messageSearch->setFolders(context.files.readLine(Setting::SaveDir).value_or(QString()),
                                      context.files.readLine(Setting::ReceiveDir).value_or(QString()));
    return *context.messageSearch;
}

void SaveForm::search()
{
    // What is kept is shown at once; a change the worker finds comes after.
    m_search->refresh();
    showFound(false);
}

void SaveForm::showFound(bool keepPicked)
{
    // The message picked stays picked when the worker's news makes the list
    // again; a new text starts from the newest message.
    QString pickedPath;
    int pickedIndex = -1;
    if (const int row = m_results->indexOfTopLevelItem(m_results->currentItem());
        keepPicked && row >= 0 && row < m_found.size()) {
        pickedPath = m_found[row].path;
        pickedIndex = m_found[row].index;
    }
    m_results->clear();
    const QString text = m_searchBox->text();
    m_found = m_search->find(text);
    QList<QTreeWidgetItem *> items;
    items.reserve(m_found.size());
    int picked = 0;
    for (const MessageSearch::Message &message : std::as_const(m_found)) {
        const auto oneLine = [](QString text) { return text.replace(u'\r', u' ').replace(u'\n', u' ').simplified(); };
        if (message.path == pickedPath && message.index == pickedIndex)
            picked = int(items.size());
        auto *item = new QTreeWidgetItem({message.date.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                          message.place == MessageSearch::Place::Saved ? tr("saved") : tr("received"),
                                          oneLine(message.fields.from), oneLine(message.fields.to),
                                          oneLine(message.fields.subject)});
        item->setToolTip(4, message.fields.message.left(500));
        items << item;
    }
    m_results->addTopLevelItems(items);
    for (int column = 0; column < 4; ++column) {
        m_results->resizeColumnToContents(column);
        m_results->setColumnWidth(column, std::min(m_results->columnWidth(column), 160));
    }
    QString status;
    const bool ready = m_search->isReady();
    if (!text.isEmpty() && !ready) {
        const int files = m_search->filesRead();
        status = tr("Searching... %1 found so far in the %2 read.")
                     .arg(m_found.size() == 1 ? tr("1 message") : tr("%1 messages").arg(m_found.size()),
                          files == 1 ? tr("1 file") : tr("%1 files").arg(files));
    } else if (!text.isEmpty()) {
        status = m_found.isEmpty()     ? tr("No message holds \"%1\".").arg(text)
                 : m_found.size() == 1 ? tr("1 message found.")
                                       : tr("%1 messages found.").arg(m_found.size());
    }
    const QStringList problems = m_search->problems();
    if (!problems.isEmpty())
        status += u' ' + (problems.size() == 1 ? problems.first()
                                                : tr("%1 (and %n more)", nullptr, int(problems.size() - 1))
                                                      .arg(problems.first()));
    m_searchStatus->setText(status.trimmed());
    if (!m_found.isEmpty())
        m_results->setCurrentItem(m_results->topLevelItem(picked));
}

void SaveForm::openFound()
{
    QTreeWidgetItem *item = m_results->currentItem();
    const int row = item ? m_results->indexOfTopLevelItem(item) : -1;
    if (row < 0 || row >= m_found.size()) {
        m_context.prompter.inform(tr("No found message is picked. Type a word into the search box and pick one "
                                     "of the messages found."),
                                  Prompter::Icon::Exclamation);
        return;
    }
    // The one message alone, so the reader shows it even when it shares its
    // file with others.
    const MessageSearch::Message &message = m_found.at(row);
    handToReader(Modsavemodule::archiveRecord(message.fields), tr("The message cannot be handed to the reader: %1"));
}

bool SaveForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_searchBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int rows = m_results->topLevelItemCount();
        if ((key == Qt::Key_Down || key == Qt::Key_Up) && rows > 0) {
            const int row = m_results->indexOfTopLevelItem(m_results->currentItem());
            const int next = std::clamp(row + (key == Qt::Key_Down ? 1 : -1), 0, rows - 1);
            m_results->setCurrentItem(m_results->topLevelItem(next));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SaveForm::exitToMainMenu()
{
    m_context.navigator.unload<SaveForm>();
    returnToMainMenu(m_context);
}
