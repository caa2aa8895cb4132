#include "Received.h"

#include "InboxForm.h"
#include "ReceiveFile.h"
#include "ReceivedMessage.h"
#include "ReceiveFolderEntries.h"
#include "compose/MessageFile.h"
#include "compose/SendFile.h"
#include "launcher/Outbox.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"
#include "shell/WindowChrome.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Error numbers of the router's "Error Handler" box.
constexpr int fileNotFoundError = 53;
constexpr int pathAccessError = 75;
constexpr int pastEndOfFileError = 62;

// The list's order: by name, letter case aside.
QStringList listedOrder(QStringList names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

} // namespace

Received::Received(DeskContext &context)
    : m_context(context)
    , m_monitorEvents(context)
{
    setObjectName(QStringLiteral("received"));
    setWindowTitle(QStringLiteral("Form1"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *instruction = makeHeading(this, "Label1", QStringLiteral("Click on file to Retrieve"), 16);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("File1"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMinimumSize(560, 300);
    useListFont(m_list);

    auto *unused = new QLineEdit(this);
    unused->setObjectName(QStringLiteral("Text1"));
    unused->hide();

    auto *readButton = makeColouredButton(this, "Command2", QStringLiteral("&Read Message"), {128, 255, 128});
    auto *deleteButton = makeColouredButton(this, "Command1", QStringLiteral("&Delete messages"), {255, 192, 128});
    auto *exitButton = makeColouredButton(this, "Cmdexit", QStringLiteral("E&xit"), modUIColorPalette::red);

    layout->addWidget(instruction, 0, 0, 1, 3);
    layout->addWidget(m_list, 1, 0, 1, 3);
    layout->addWidget(readButton, 2, 0);
    layout->addWidget(deleteButton, 2, 1);
    layout->addWidget(exitButton, 2, 2);

    connect(readButton, &QPushButton::clicked, this, &Received::readMessage);
    connect(deleteButton, &QPushButton::clicked, this, &Received::deleteMessage);
    connect(exitButton, &QPushButton::clicked, this, &Received::exitToMainMenu);
    // Enter on a picked file reads it, as a double click does.
    connect(m_list, &QListWidget::itemActivated, this, &Received::readMessage);

    m_scanTimer = new QTimer(this);
    m_scanTimer->setObjectName(QStringLiteral("Timer1"));
    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setObjectName(QStringLiteral("Timer2"));
    m_blinkTimer->setInterval(500);
    connect(m_blinkTimer, &QTimer::timeout, this, &Received::blinkArrivalNotice);
    m_blinkTimer->start();
    connect(m_scanTimer, &QTimer::timeout, this, &Received::followFolder);

    removeCaptionBar(this);
    StartReceiveMonitor();
}

void Received::StartReceiveMonitor()
{
    const Result<QString> directory = m_context.files.readFirstLine(Setting::ReceiveDir);
    if (!directory) {
        m_context.prompter.inform(QStringLiteral("Error initializing monitoring: ")
                                  + tr("no receive folder is set (%1)").arg(directory.error()));
        return;
    }
    m_monitor.folderpath = *directory;
    m_monitor.SetTimerControl(m_scanTimer);
    if (const Outcome started = m_monitor.StartMonitoring(); !started)
        m_context.prompter.inform(started.error());
    m_monitorEvents.Initialize(&m_monitor);
    if (UnattendedStation *station = m_context.unattended) {
        station->watchFolder(*directory);
        connect(&m_monitor, &FileMonitors::FileReceived, station,
                [this, station] { station->takeArrivalsInBackground(m_monitor.folderpath); });
    }
    m_listPath = *directory;
    refreshList();
}

void Received::followFolder()
{
    // Files can go without any arrival (another program took them, or the
    // whole folder went): a list on screen never shows what is gone.
    if (!isVisible() || m_listPath.isEmpty())
        return;
    const QStringList present = listedOrder(ReceiveFolderEntries::list(m_listPath).names);
    QStringList shown;
    for (int i = 0; i < m_list->count(); ++i)
        shown << m_list->item(i)->text();
    if (shown != present)
        refreshList();
}

void Received::refreshList()
{
    const QString picked = m_list->currentItem() ? m_list->currentItem()->text() : QString();
    m_list->clear();
    if (m_listPath.isEmpty())
        return;
    // Names the desk cannot spell are renamed here, when the operator looks,
    // rather than on every tick while a program may still be writing.
    const auto listing = ReceiveFolderEntries::list(m_listPath, ReceiveFolderEntries::Names::MadeOpenable);
    m_list->addItems(listedOrder(listing.names));
    if (m_context.unattended && !listing.renames.isEmpty())
        m_context.unattended->renamedByDesk(m_listPath, listing.renames);
    QStringList untold;
    for (const QString &problem : listing.problems)
        if (!std::exchange(m_toldProblems[problem], true))
            untold << problem;
    if (!untold.isEmpty())
        m_context.prompter.inform(untold.join(u'\n'), Prompter::Icon::Exclamation);
    const auto found = m_list->findItems(picked, Qt::MatchExactly);
    if (!found.isEmpty())
        m_list->setCurrentItem(found.first());
}

void Received::changeEvent(QEvent *event)
{
    // Every time the list becomes the active window it shows the folder as it is now.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refreshList();
    QWidget::changeEvent(event);
}

void Received::showEvent(QShowEvent *event)
{
    refreshList();
    QWidget::showEvent(event);
}

void Received::blinkArrivalNotice()
{
    if (auto *menu = m_context.navigator.loaded<MainMenu>())
        menu->blinkArrivalNotice();
    m_blinkTimer->setInterval(1000);
}

void Received::deleteMessage()
{
    if (!m_list->currentItem())
        return;
    const QString name = m_list->currentItem()->text();
    const QString path = QDir(m_listPath).filePath(name);
    if (!m_context.prompter.ask(tr("Move the message \"%1\" to the trash?").arg(name), QStringLiteral("Delete messages"),
                                Prompter::Icon::Question))
        return;
    const Result<QString> trashed = Outbox::moveToTrash(path);
    if (trashed && m_context.unattended)
        m_context.unattended->messageDeleted(name, *trashed);
    if (!trashed)
        m_context.prompter.inform(QStringLiteral("error deleting file: ") + trashed.error()
                                      + tr("\nThe message stays in the receive folder."),
                                  Prompter::Icon::Exclamation);
    else
        m_context.prompter.inform(QStringLiteral("file deleted successfully")
                                      + tr("\nIt lies in the trash, from where it can be restored."),
                                  Prompter::Icon::Information);
    refreshList();
}

bool Received::KillFile(const QString &path)
{
    while (QFile::exists(path)) {
        QFile file(path);
        if (file.remove())
            return true;
        const bool again = m_context.prompter.ask(QStringLiteral("Failed to delete the file: ") + file.errorString()
                                                      + tr("\n\nTry again?"),
                                                  QString(), Prompter::Icon::Exclamation);
        if (!again) {
            m_context.prompter.inform(tr("The message was left in the receive folder: %1")
                                          .arg(QDir::toNativeSeparators(path)),
                                      Prompter::Icon::Exclamation);
            return false;
        }
        QCoreApplication::processEvents();
    }
    return true;
}

void Received::reportStep(int code, const QString &description)
{
    m_context.prompter.inform(QStringLiteral("Error %1: %2").arg(code).arg(description), Prompter::Icon::Critical,
                              QStringLiteral("Error Handler"));
}

void Received::clearHandOverFiles()
{
    for (const SettingFile handOver : {Setting::MailHandOver, Setting::AttachmentHandOver}) {
        const QString path = m_context.files.path(handOver);
        QFile file(path);
        if (file.exists() && !file.remove())
            reportStep(pathAccessError, tr("%1 cannot be cleared: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}

void Received::keepMessage(const QString &path, const QString &why)
{
    m_context.prompter.inform(tr("%1\n\nThe message stays in the receive folder: %2")
                                  .arg(why, QDir::toNativeSeparators(path)),
                              Prompter::Icon::Exclamation);
}

void Received::readMessage()
{
    m_context.navigator.unload<SendFile>();
    if (auto *menu = m_context.navigator.loaded<MainMenu>())
        menu->hideTestButton();
    clearHandOverFiles();

    const Result<QString> storedDirectory = m_context.files.readFirstLine(Setting::ReceiveDir);
    if (!storedDirectory)
        reportStep(fileNotFoundError, tr("File not found: %1").arg(storedDirectory.error()));
    const QString directory = storedDirectory ? *storedDirectory : QString();

    if (!m_list->currentItem()) {
        m_context.prompter.inform(QStringLiteral("No file selected."), Prompter::Icon::Exclamation);
        return;
    }
    const QString name = m_list->currentItem()->text();
    const QString path = directory + QDir::separator() + name;
    ReceivedMessage received(path);
    if (!QFileInfo::exists(path)) {
        m_context.prompter.inform(QStringLiteral("File not found: ") + QDir::toNativeSeparators(path),
                                  Prompter::Icon::Critical);
        refreshList();
        return;
    }
    // A message that cannot be read whole is not routed: it stays where it
    // arrived, and an empty one may still be on its way in.
    const auto staysWithReason = [](const QString &reason) {
        return tr("%1\nThe message stays in the receive folder.").arg(reason);
    };
    if (const Outcome opened = received.open(); !opened) {
        reportStep(pathAccessError, staysWithReason(opened.error()));
        return;
    }
    if (received.isEmpty()) {
        reportStep(pastEndOfFileError, tr("Input past end of file: %1 is empty; it may still be arriving.\n"
                                          "The message stays in the receive folder.")
                                           .arg(QDir::toNativeSeparators(path)));
        return;
    }
    const Result<MessageFile::Kind> kind = received.kind(name);
    if (!kind) {
        reportStep(pathAccessError, staysWithReason(kind.error()));
        return;
    }
    if (*kind == MessageFile::Kind::Unrecognized) {
        m_context.prompter.inform(QStringLiteral("Unrecognized file type."), Prompter::Icon::Exclamation);
        refreshList();
        return;
    }
    const bool mail = *kind == MessageFile::Kind::Mail;

    // Several posts of one second share one file. Each one after the first
    // becomes a message file of its own beside it, written whole, so that
    // each is read on its own; the first one is read now.
    const Result<qsizetype> posts = received.takeApart(*kind);
    if (!posts) {
        keepMessage(path, posts.error());
        return;
    }
    if (*posts == 0) {
        keepMessage(path, tr("The file holds no mail record (four fields of digits and spaces, parted by "
                             "commas), so there is nothing to show."));
        refreshList();
        return;
    }
    const Result<QStringList> splitOff = received.writeOthersBeside();
    if (!splitOff) {
        keepMessage(path, splitOff.error());
        return;
    }
    // The received file goes only once the screen that handles it has what
    // it needs: the reader a mail it could show, the receiver the attached
    // file decoded and written.
    if (const Outcome handed =
            received.handOver(m_context.files.path(mail ? Setting::MailHandOver : Setting::AttachmentHandOver));
        !handed) {
        received.removeOthers();
        keepMessage(path, handed.error());
        return;
    }
    received.close();
    std::optional<QString> doubt;
    if (mail && !openMailReader())
        doubt = tr("The mail could not be shown.");
    else if (mail && !received.holdsOnlyMail())
        doubt = tr("The file holds more than a mail record (digits, spaces and commas), so it was shown only as "
                   "far as it could be read.");
    else if (!mail && !openAttachmentReceiver())
        doubt = tr("Not everything this message holds could be received.");
    if (doubt) {
        // Until the first post is read, the file itself still holds every
        // post: the copies split off go again.
        received.removeOthers();
        keepMessage(path, *doubt);
        refreshList();
        return;
    }
    KillFile(path);
    if (m_context.unattended)
        m_context.unattended->messageRead(name);
    if (!splitOff->isEmpty()) {
        QStringList names;
        for (const QString &copy : *splitOff)
            names << QFileInfo(copy).fileName();
        m_context.prompter.inform(tr("The message file held %1 messages. The first one is shown; each of the others "
                                     "now waits in the receive folder as a message of its own:\n%2")
                                      .arg(splitOff->size() + 1)
                                      .arg(names.join(u'\n')),
                                  Prompter::Icon::Information);
    }
    refreshList();
}

bool Received::openMailReader()
{
    // A reader already loaded (the self-test loads one hidden) shows the new mail too.
    if (auto *reader = m_context.navigator.loaded<InboxForm>())
        reader->loadMailHandOver();
    auto *reader = m_context.navigator.open<InboxForm>();
    return reader && reader->showsHandedOverMail();
}

bool Received::openAttachmentReceiver()
{
    hide();
    m_context.navigator.unload<ReceiveFile>();
    auto *receiver = m_context.navigator.open<ReceiveFile>();
    return receiver && receiver->tookWholeMessage();
}

void Received::exitToMainMenu()
{
    m_context.navigator.unload<Received>();
    returnToMainMenu(m_context);
}
