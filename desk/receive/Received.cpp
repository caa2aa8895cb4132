#include "Received.h"

#include "InboxForm.h"
#include "ReceiveFile.h"
#include "compose/MessageFile.h"
#include "compose/SendFile.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"
#include "shell/WindowChrome.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace {

// Error numbers of the router's "Error Handler" box.
constexpr int fileNotFoundError = 53;
constexpr int pathAccessError = 75;
constexpr int pastEndOfFileError = 62;

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
    const QString path = QDir(m_listPath).filePath(m_list->currentItem()->text());
    QFile file(path);
    if (file.remove())
        m_context.prompter.inform(QStringLiteral("file deleted successfully"));
    else
        m_context.prompter.inform(QStringLiteral("error deleting file: ") + file.errorString());
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
        return;
    }
    QByteArray content;
    if (!received.open(QIODevice::ReadOnly))
        reportStep(pathAccessError, received.errorString());
    else
        content = received.readAll();
    if (content.isEmpty() && received.isOpen())
        reportStep(pastEndOfFileError, tr("Input past end of file: %1 is empty").arg(QDir::toNativeSeparators(path)));
    received.close();

    // The received file goes only once its text is safe in the hand-over file.
    auto handOver = [&](SettingFile file, const QByteArray &bytes) {
        if (const auto failure = m_context.files.writeBytes(file, bytes)) {
            reportStep(pathAccessError, *failure);
            return false;
        }
        KillFile(path);
        return true;
    };
    switch (MessageFile::classify(content, name)) {
    case MessageFile::Kind::Mail:
        if (!handOver(Setting::MailHandOver, content + "\r\n"))
            return;
        openMailReader();
        break;
    case MessageFile::Kind::Attachment:
        if (!handOver(Setting::AttachmentHandOver, content))
            return;
        openAttachmentReceiver();
        break;
    case MessageFile::Kind::Unrecognized:
        m_context.prompter.inform(QStringLiteral("Unrecognized file type."), Prompter::Icon::Exclamation);
        break;
    }
    refreshList();
}

void Received::openMailReader()
{
    // A reader already loaded (the self-test loads one hidden) shows the new mail too.
    if (auto *reader = m_context.navigator.loaded<InboxForm>())
        reader->loadMailHandOver();
    m_context.navigator.open<InboxForm>();
}

void Received::openAttachmentReceiver()
{
    hide();
    m_context.navigator.unload<ReceiveFile>();
    m_context.navigator.open<ReceiveFile>();
}

void Received::exitToMainMenu()
{
    m_context.navigator.unload<Received>();
    returnToMainMenu(m_context);
}
