#include "Received.h"

#include "InboxForm.h"
#include "ReceiveFile.h"
#include "compose/AttachmentStream.h"
#include "compose/MessageFile.h"
#include "compose/SendFile.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"
#include "shell/WindowChrome.h"

#include <QBuffer>
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
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace {

// Error numbers of the router's "Error Handler" box.
constexpr int fileNotFoundError = 53;
constexpr int pathAccessError = 75;
constexpr int pastEndOfFileError = 62;

// Posts of one second that share a file are few; a file claiming more is
// not spread over the receive folder.
constexpr qsizetype maxPostsPerFile = 100;

// A mail record holds only code lists: digits, spaces, the commas between
// fields and line ends. Anything else was not written as a mail.
bool isCleanMailText(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char ch) {
        return (ch >= '0' && ch <= '9') || ch == ' ' || ch == ',' || ch == '\r' || ch == '\n';
    });
}

// Moves a file to the user's trash; the reason when it is still where it was.
// Qt files the file under "files/" in the working directory when the
// generic data folder is missing, so that folder is made first, and a
// relative place in the trash counts as no trash at all.
std::optional<QString> moveToTrash(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (!QFileInfo::exists(path))
        return QObject::tr("%1: the file is gone").arg(native);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir::isAbsolutePath(data) || !QDir().mkpath(data))
        return QObject::tr("%1: there is no trash to move it to (%2 cannot be made)")
            .arg(native, QDir::toNativeSeparators(data));
    QFile file(path);
    if (!file.moveToTrash())
        return QObject::tr("%1: %2").arg(native, file.errorString());
    const QString inTrash = file.fileName();
    if (QDir::isAbsolutePath(inTrash))
        return std::nullopt;
    // Not a trash: put the file back where it was.
    const QFileInfo moved(inTrash);
    if (!QFile::rename(moved.absoluteFilePath(), path))
        return QObject::tr("%1: there is no trash, and the file was left at %2")
            .arg(native, QDir::toNativeSeparators(moved.absoluteFilePath()));
    QFile::remove(moved.dir().filePath(QStringLiteral("../info/") + moved.fileName() + QStringLiteral(".trashinfo")));
    return QObject::tr("%1: there is no trash to move it to").arg(native);
}

} // namespace

Received::Received(DeskContext &context)
    : m_context(context)
    , m_monitorEvents(context)
{
    setObjectName(QStringLiteral("received"));
    setWindowTitle(QStringLiteral("Form1"));
    setPanelColour(this, QColor(224, 224, 224));

    auto *instruction = makeHeading(this, "Label1", QStringLiteral("Click on file to Retrieve"), 16);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("File1"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMinimumSize(560, 300);

    auto *unused = new QLineEdit(this);
    unused->setObjectName(QStringLiteral("Text1"));
    unused->hide();

    auto *readButton = makeColouredButton(this, "Command2", QStringLiteral("Read Message"), {128, 255, 128});
    auto *deleteButton = makeColouredButton(this, "Command1", QStringLiteral("Delete messages"), {255, 192, 128});
    auto *exitButton = makeColouredButton(this, "Cmdexit", QStringLiteral("Exit"), modUIColorPalette::red);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(30, 20, 30, 20);
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
    const auto directory = m_context.files.readLine(Setting::ReceiveDir);
    if (!directory) {
        m_context.prompter.inform(QStringLiteral("Error initializing monitoring: ")
                                  + tr("no receive folder is set (%1 is missing)")
                                        .arg(QDir::toNativeSeparators(m_context.files.path(Setting::ReceiveDir))));
        return;
    }
    m_monitor.folderpath = *directory;
    m_monitor.SetTimerControl(m_scanTimer);
    if (const auto failure = m_monitor.StartMonitoring())
        m_context.prompter.inform(*failure);
    m_monitorEvents.Initialize(&m_monitor);
    m_listPath = *directory;
    refreshList();
}

void Received::followFolder()
{
    // Files can go without any arrival (another program took them, or the
    // whole folder went): a list on screen never shows what is gone.
    if (!isVisible() || m_listPath.isEmpty())
        return;
    const QStringList present = QDir(m_listPath).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
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
    m_list->addItems(QDir(m_listPath).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase));
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
    if (const auto failure = moveToTrash(path))
        m_context.prompter.inform(QStringLiteral("error deleting file: ") + *failure
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

    const auto storedDirectory = m_context.files.readLine(Setting::ReceiveDir);
    if (!storedDirectory)
        reportStep(fileNotFoundError, tr("File not found: %1")
                                          .arg(QDir::toNativeSeparators(m_context.files.path(Setting::ReceiveDir))));
    const QString directory = storedDirectory.value_or(QString());

    if (!m_list->currentItem()) {
        m_context.prompter.inform(QStringLiteral("No file selected."), Prompter::Icon::Exclamation);
        return;
    }
    const QString name = m_list->currentItem()->text();
    const QString path = directory + QDir::separator() + name;
    QFile received(path);
    if (!received.exists()) {
        m_context.prompter.inform(QStringLiteral("File not found: ") + QDir::toNativeSeparators(path),
                                  Prompter::Icon::Critical);
        refreshList();
        return;
    }
    // A message that cannot be read whole is not routed: it stays where it
    // arrived, and an empty one may still be on its way in.
    if (!received.open(QIODevice::ReadOnly)) {
        reportStep(pathAccessError, tr("%1 cannot be read: %2\nThe message stays in the receive folder.")
                                        .arg(QDir::toNativeSeparators(path), received.errorString()));
        return;
    }
    const QByteArray content = received.readAll();
    if (received.error() != QFileDevice::NoError) {
        reportStep(pathAccessError, tr("%1 cannot be read: %2\nThe message stays in the receive folder.")
                                        .arg(QDir::toNativeSeparators(path), received.errorString()));
        return;
    }
    received.close();
    if (content.isEmpty()) {
        reportStep(pastEndOfFileError, tr("Input past end of file: %1 is empty; it may still be arriving.\n"
                                          "The message stays in the receive folder.")
                                           .arg(QDir::toNativeSeparators(path)));
        return;
    }

    // The type word in the name decides, as every composer names its files;
    // the text is asked only for a name without one. Base64 text spells
    // "mail" about once a megabyte, which would send a large attachment to
    // the mail reader.
    MessageFile::Kind kind = MessageFile::classify(QByteArrayView(), name);
    if (kind == MessageFile::Kind::Unrecognized)
        kind = MessageFile::classify(content, name);
    if (kind == MessageFile::Kind::Unrecognized) {
        m_context.prompter.inform(QStringLiteral("Unrecognized file type."), Prompter::Icon::Exclamation);
        refreshList();
        return;
    }
    const bool mail = kind == MessageFile::Kind::Mail;

    // Several posts of one second share one file. Each one after the first
    // becomes a message file of its own beside it, written whole, so that
    // each is read on its own; the first one is read now.
    QString failure;
    const auto posts = mail ? std::optional(mailRecords(content)) : attachmentEntries(content, &failure);
    if (!posts) {
        keepMessage(path, failure);
        return;
    }
    if (posts->size() > maxPostsPerFile) {
        keepMessage(path, tr("The message file holds %1 messages; no more than %2 are taken apart.")
                              .arg(posts->size())
                              .arg(maxPostsPerFile));
        return;
    }
    QStringList splitOff;
    if (const auto notSplit = writeEachBeside(path, posts->mid(1), splitOff)) {
        keepMessage(path, *notSplit);
        return;
    }
    // Until the first post is read, the file itself still holds every post:
    // the copies split off go again.
    const auto undoSplit = [&splitOff] {
        for (const QString &copy : std::as_const(splitOff))
            QFile::remove(copy);
    };
    // The received file goes only once the screen that handles it has what
    // it needs: the reader a mail it could show, the receiver the attached
    // file decoded and written.
    const QByteArray first = posts->first();
    if (const auto notHanded = m_context.files.writeBytes(mail ? Setting::MailHandOver : Setting::AttachmentHandOver,
                                                          mail ? first + "\r\n" : first)) {
        undoSplit();
        keepMessage(path, *notHanded);
        return;
    }
    std::optional<QString> doubt;
    if (mail && !openMailReader())
        doubt = tr("The mail could not be shown.");
    else if (mail && !isCleanMailText(content))
        doubt = tr("The file holds more than a mail record (digits, spaces and commas), so it was shown only as "
                   "far as it could be read.");
    else if (!mail && !openAttachmentReceiver())
        doubt = tr("Not everything this message holds could be received.");
    if (doubt) {
        undoSplit();
        keepMessage(path, *doubt);
        refreshList();
        return;
    }
    KillFile(path);
    if (!splitOff.isEmpty()) {
        QStringList names;
        for (const QString &copy : std::as_const(splitOff))
            names << QFileInfo(copy).fileName();
        m_context.prompter.inform(tr("The message file held %1 messages. The first one is shown; each of the others "
                                     "now waits in the receive folder as a message of its own:\n%2")
                                      .arg(splitOff.size() + 1)
                                      .arg(names.join(u'\n')),
                                  Prompter::Icon::Information);
    }
    refreshList();
}

std::optional<QList<QByteArray>> Received::attachmentEntries(const QByteArray &content, QString *error)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    const auto layout = AttachmentStream::layoutOf(buffer, error);
    if (!layout)
        return std::nullopt;
    if (layout->entries.size() < 2)
        return QList<QByteArray>{content};
    QList<QByteArray> entries;
    for (const auto &range : layout->entries)
        entries << content.mid(range.start, (range.end < 0 ? content.size() : range.end) - range.start) + "\r\n";
    return entries;
}

QList<QByteArray> Received::mailRecords(const QByteArray &content)
{
    // A record holds no line end of its own: each CR LF ends one post. Text
    // that is no mail is not taken apart.
    if (!isCleanMailText(content))
        return {content};
    QList<QByteArray> records;
    for (const QByteArray &line : content.split('\n')) {
        const QByteArray record = line.endsWith('\r') ? line.chopped(1) : line;
        if (!record.trimmed().isEmpty())
            records << record + "\r\n";
    }
    if (records.size() < 2)
        return {content};
    return records;
}

std::optional<QString> Received::writeEachBeside(const QString &path, const QList<QByteArray> &posts,
                                                 QStringList &written)
{
    const QFileInfo original(path);
    const QString suffix = original.suffix().isEmpty() ? QString() : u'.' + original.suffix();
    int number = 1;
    for (const QByteArray &post : posts) {
        QString copy;
        do
            copy = original.dir().filePath(
                QStringLiteral("%1 (%2)%3").arg(original.completeBaseName()).arg(++number).arg(suffix));
        while (QFileInfo::exists(copy));
        QSaveFile out(copy);
        if (!out.open(QIODevice::WriteOnly) || out.write(post) != post.size() || !out.commit()) {
            const QString why = tr("The message file holds %1 messages, and %2 cannot be written for one of them: %3")
                                    .arg(posts.size() + 1)
                                    .arg(QDir::toNativeSeparators(copy), out.errorString());
            for (const QString &done : std::as_const(written))
                QFile::remove(done);
            written.clear();
            return why;
        }
        written << copy;
    }
    return std::nullopt;
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
