#include "Received.h"

#include "InboxForm.h"
#include "ReceiveFile.h"
#include "ReceiveFolderEntries.h"
#include "compose/AttachmentStream.h"
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
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Error numbers of the router's "Error Handler" box.
constexpr int fileNotFoundError = 53;
constexpr int pathAccessError = 75;
constexpr int pastEndOfFileError = 62;

// Posts of one second that share a file are few; a file claiming more is
// not spread over the receive folder.
constexpr qsizetype maxPostsPerFile = 100;

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
                [this, station] { station->takeArrivals(m_monitor.folderpath); });
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

namespace {

// A mail record is a few typed fields as code lists; a line longer than
// this is no mail, and reading on would only fill memory.
constexpr qsizetype maxRecordBytes = 4 * 1024 * 1024;
// All records of one file that are kept to be taken apart.
constexpr qsizetype maxKeptBytes = 16 * 1024 * 1024;
constexpr qint64 readPiece = 64 * 1024;

bool isCleanMailByte(char ch)
{
    return (ch >= '0' && ch <= '9') || ch == ' ' || ch == ',' || ch == '\r' || ch == '\n';
}

// The mail records of a received file, read in pieces up to the first
// byte that no mail holds.
struct MailScan {
    QList<QByteArray> records; ///< each line as it stands, with its line end
    qsizetype count = 0;
    bool clean = true; ///< nothing in the file but whole mail records
    std::optional<QString> failure;
};

MailScan scanMail(QFile &in, qsizetype maxRecords)
{
    MailScan scan;
    qsizetype kept = 0;
    QByteArray line;
    const auto endLine = [&] {
        const QByteArray record = line.endsWith('\n') ? line.chopped(line.endsWith("\r\n") ? 2 : 1) : line;
        if (record.trimmed().isEmpty()) {
            line.clear();
            return;
        }
        if (record.count(',') < 3) { // not the four fields of a mail
            scan.clean = false;
            line.clear();
            return;
        }
        ++scan.count;
        kept += line.size();
        if (scan.count <= maxRecords && kept <= maxKeptBytes)
            scan.records << line;
        line.clear();
    };
    while (scan.clean && !scan.failure && scan.count <= maxRecords) {
        const QByteArray piece = in.read(readPiece);
        if (piece.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                scan.failure = QObject::tr("%1 cannot be read: %2")
                                   .arg(QDir::toNativeSeparators(in.fileName()), in.errorString());
            break;
        }
        for (const char ch : piece) {
            if (!isCleanMailByte(ch)) {
                scan.clean = false;
                line.clear(); // a line cut by what no mail holds is no record
                break;
            }
            line += ch;
            if (ch == '\n') {
                endLine();
                if (!scan.clean)
                    break;
            } else if (line.size() > maxRecordBytes) {
                scan.failure = QObject::tr("%1 holds a line longer than %2 MB, which no mail record is.")
                                   .arg(QDir::toNativeSeparators(in.fileName()))
                                   .arg(maxRecordBytes / (1024 * 1024));
                break;
            }
        }
    }
    if (scan.clean && !scan.failure)
        endLine(); // the last record may end without its line end
    if (!scan.failure && scan.count > scan.records.size() && scan.count <= maxRecords)
        scan.failure = QObject::tr("%1 holds more mail text than the %2 MB that are taken apart.")
                           .arg(QDir::toNativeSeparators(in.fileName()))
                           .arg(maxKeptBytes / (1024 * 1024));
    return scan;
}

// "MAIL" anywhere in the text makes a mail, else "FILE" an attachment
// message; read in pieces that overlap by less than a word.
std::optional<MessageFile::Kind> classifyContent(QFile &in)
{
    MessageFile::Kind kind = MessageFile::Kind::Unrecognized;
    QByteArray carry;
    while (true) {
        const QByteArray piece = in.read(readPiece);
        if (piece.isEmpty())
            break;
        const QByteArray text = carry + piece;
        const auto found = MessageFile::classify(text, QString());
        if (found == MessageFile::Kind::Mail)
            return found;
        if (found == MessageFile::Kind::Attachment)
            kind = found;
        carry = text.right(3);
    }
    if (in.error() != QFileDevice::NoError || !in.seek(0))
        return std::nullopt;
    return kind;
}

// Writes a post: its own bytes, or a stretch of the received file copied
// in pieces, then its tail.
std::optional<QString> writePost(QFile &source, const Received::Post &post, QIODevice &out)
{
    const auto put = [&out](const QByteArray &bytes) { return out.write(bytes) == bytes.size(); };
    if (!put(post.bytes))
        return out.errorString();
    if (post.start >= 0) {
        if (!source.seek(post.start))
            return source.errorString();
        qint64 left = (post.end < 0 ? source.size() : post.end) - post.start;
        while (left > 0) {
            const QByteArray piece = source.read(std::min(left, readPiece));
            if (piece.isEmpty())
                return QObject::tr("%1 cannot be read: %2")
                    .arg(QDir::toNativeSeparators(source.fileName()),
                         source.error() != QFileDevice::NoError ? source.errorString()
                                                                : QObject::tr("it became shorter"));
            if (!put(piece))
                return out.errorString();
            left -= piece.size();
        }
    }
    if (!put(post.tail))
        return out.errorString();
    return std::nullopt;
}

} // namespace

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
    QFile received(path);
    if (!received.exists()) {
        m_context.prompter.inform(QStringLiteral("File not found: ") + QDir::toNativeSeparators(path),
                                  Prompter::Icon::Critical);
        refreshList();
        return;
    }
    // A message that cannot be read whole is not routed: it stays where it
    // arrived, and an empty one may still be on its way in. The file is
    // read in pieces, never whole: it may be of any size.
    const auto cannotRead = [&] {
        reportStep(pathAccessError, tr("%1 cannot be read: %2\nThe message stays in the receive folder.")
                                        .arg(QDir::toNativeSeparators(path), received.errorString()));
    };
    // Only a regular file is read: a FIFO slipped in after the listing
    // would hold the desk in its open.
    if (const Outcome opened = RegularFile::openForReading(received); !opened) {
        reportStep(pathAccessError, tr("%1\nThe message stays in the receive folder.").arg(opened.error()));
        return;
    }
    if (received.size() == 0) {
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
    if (kind == MessageFile::Kind::Unrecognized) {
        const auto found = classifyContent(received);
        if (!found) {
            cannotRead();
            return;
        }
        kind = *found;
    }
    if (kind == MessageFile::Kind::Unrecognized) {
        m_context.prompter.inform(QStringLiteral("Unrecognized file type."), Prompter::Icon::Exclamation);
        refreshList();
        return;
    }
    const bool mail = kind == MessageFile::Kind::Mail;

    // Several posts of one second share one file. Each one after the first
    // becomes a message file of its own beside it, written whole, so that
    // each is read on its own; the first one is read now.
    QList<Post> posts;
    bool cleanMail = true;
    if (mail) {
        const MailScan scan = scanMail(received, maxPostsPerFile);
        if (scan.failure) {
            keepMessage(path, *scan.failure);
            return;
        }
        if (scan.count == 0) {
            keepMessage(path, tr("The file holds no mail record (four fields of digits and spaces, parted by "
                                 "commas), so there is nothing to show."));
            refreshList();
            return;
        }
        if (scan.count > maxPostsPerFile) {
            keepMessage(path, tr("The message file holds more than %1 messages; no more than %1 are taken apart.")
                                  .arg(maxPostsPerFile));
            return;
        }
        cleanMail = scan.clean;
        // A record holds no line end of its own: each CR LF ends one post.
        // A file with anything else in it is not taken apart.
        if (scan.records.size() == 1 || !cleanMail)
            posts << Post{scan.records.first(), -1, -1, {}};
        else
            for (const QByteArray &line : scan.records)
                posts << Post{line.endsWith('\n') ? line.chopped(line.endsWith("\r\n") ? 2 : 1) : line, -1, -1, "\r\n"};
    } else {
        QString failure;
        const auto entries = attachmentEntries(received, &failure);
        if (!entries) {
            keepMessage(path, failure);
            return;
        }
        posts = *entries;
        if (posts.size() > maxPostsPerFile) {
            keepMessage(path, tr("The message file holds %1 messages; no more than %2 are taken apart.")
                                  .arg(posts.size())
                                  .arg(maxPostsPerFile));
            return;
        }
    }
    QStringList splitOff;
    if (const auto notSplit = writeEachBeside(path, received, posts.mid(1), splitOff)) {
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
    Post first = posts.first();
    if (mail)
        first.tail += "\r\n";
    QSaveFile handOver(m_context.files.path(mail ? Setting::MailHandOver : Setting::AttachmentHandOver));
    std::optional<QString> notHanded;
    if (!handOver.open(QIODevice::WriteOnly))
        notHanded = handOver.errorString();
    else if (!(notHanded = writePost(received, first, handOver)) && !handOver.commit())
        notHanded = handOver.errorString();
    if (notHanded) {
        undoSplit();
        keepMessage(path, tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(handOver.fileName()), *notHanded));
        return;
    }
    received.close();
    std::optional<QString> doubt;
    if (mail && !openMailReader())
        doubt = tr("The mail could not be shown.");
    else if (mail && !cleanMail)
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
    if (m_context.unattended)
        m_context.unattended->messageRead(name);
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

std::optional<QList<Received::Post>> Received::attachmentEntries(QFile &in, QString *error)
{
    const auto layout = AttachmentStream::layoutOf(in, error);
    if (!layout)
        return std::nullopt;
    if (layout->entries.size() < 2)
        return QList<Post>{Post{{}, 0, -1, {}}};
    QList<Post> entries;
    for (const auto &range : layout->entries)
        entries << Post{{}, range.start, range.end, "\r\n"};
    return entries;
}

std::optional<QString> Received::writeEachBeside(const QString &path, QFile &source, const QList<Post> &posts,
                                                 QStringList &written)
{
    const QFileInfo original(path);
    const QString suffix = original.suffix().isEmpty() ? QString() : u'.' + original.suffix();
    int number = 1;
    for (const Post &post : posts) {
        QString copy;
        do
            copy = original.dir().filePath(
                QStringLiteral("%1 (%2)%3").arg(original.completeBaseName()).arg(++number).arg(suffix));
        while (QFileInfo::exists(copy));
        QSaveFile out(copy);
        std::optional<QString> failure;
        if (!out.open(QIODevice::WriteOnly))
            failure = out.errorString();
        else if (!(failure = writePost(source, post, out)) && !out.commit())
            failure = out.errorString();
        if (failure) {
            const QString why = tr("The message file holds %1 messages, and %2 cannot be written for one of them: %3")
                                    .arg(posts.size() + 1)
                                    .arg(QDir::toNativeSeparators(copy), *failure);
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
