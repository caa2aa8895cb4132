#include "SendFile.h"

#include "AttachmentStream.h"
#include "MailForm.h"
#include "MailPosting.h"
#include "MessageFile.h"
#include "launcher/Rodiruverezer.h"
#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "shell/TaskProgress.h"
#include "shell/WindowChrome.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

SendFile::SendFile(DeskContext &context)
    : m_context(context)
    , m_boxes(this, {QStringLiteral("TO:"), QStringLiteral("Subject:"), QStringLiteral("Message:"),
                     QStringLiteral("From:")})
{
    setObjectName(QStringLiteral("sendfile"));
    // This composer keeps its title bar.
    setWindowTitle(QStringLiteral("Form1"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *path = new PathBox(this);
    // A path may be typed here as well as picked, so this one stays editable.
    path->setReadOnly(false);
    m_path = path;
    m_path->setObjectName(QStringLiteral("Text5"));
    auto *pathLabel = new QLabel(QStringLiteral("Attached File"), this);
    pathLabel->setObjectName(QStringLiteral("Label2"));
    pathLabel->setBuddy(m_path);
    auto *addButton = makeColouredButton(this, "Addfile", QStringLiteral("&Add File To Send"), {128, 255, 255});
    auto *postButton = makeColouredButton(this, "Command1", QStringLiteral("&Post to Outbox"), {128, 255, 128});
    auto *exitButton = makeColouredButton(this, "Command2", QStringLiteral("E&XIT"), modUIColorPalette::red);
    auto *unusedRichText = new QPlainTextEdit(this);
    unusedRichText->setObjectName(QStringLiteral("RichTextBox1"));

    layout->addWidget(makeHeading(this, "Label1", QStringLiteral("Packet Mail Form"), 20), 0, 0, 1, 3);
    layout->addWidget(m_boxes.to, 1, 0, 1, 3);
    layout->addWidget(m_boxes.subject, 2, 0, 1, 3);
    layout->addWidget(m_boxes.message, 3, 0, 1, 3);
    layout->addWidget(m_boxes.from, 4, 0, 1, 3);
    layout->addWidget(pathLabel, 5, 0);
    layout->addWidget(m_path, 5, 1, 1, 2);
    layout->addWidget(addButton, 6, 0);
    layout->addWidget(postButton, 6, 1);
    layout->addWidget(exitButton, 6, 2);

    connect(addButton, &QPushButton::clicked, this, &SendFile::addFile);
    connect(postButton, &QPushButton::clicked, this, &SendFile::post);
    connect(exitButton, &QPushButton::clicked, this, &SendFile::exitToMainMenu);

    unusedRichText->hide();
    m_boxes.placeCaretsAtEnd();
    m_path->clear();
    m_boxes.offerAddresses(m_context);
}

void SendFile::addFile()
{
    m_context.prompter.inform(QStringLiteral("Opening file dialog..."));
    // "*" rather than "*.*": on this platform many files have no dot in their names.
    const QString picked = m_context.filePicker.openFile(QStringLiteral("Select a file"),
                                                         QStringLiteral("Text Files (*.txt);;All Files (*)"));
    if (picked.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("Error: No file selected or invalid file!"), Prompter::Icon::Critical);
        return;
    }
    m_path->setText(QDir::toNativeSeparators(picked));
}

void SendFile::post()
{
    const auto directory = m_context.files.readLine(Setting::SendDir);
    const QString path = m_path->text();
    if (path.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("No file selected!"), Prompter::Icon::Exclamation);
        return;
    }
    auto refuse = [this](const QString &why) {
        m_context.prompter.inform(tr("The attachment could not be posted: %1").arg(why), Prompter::Icon::Critical);
    };
    QFile source(path);
    // A FIFO or device picked by mistake would hold the desk in its open.
    if (const Outcome opened = RegularFile::openForReading(source); !opened) {
        refuse(opened.error());
        return;
    }
    if (source.size() == 0) {
        m_context.prompter.inform(QStringLiteral("Error: File is empty or unreadable!"), Prompter::Icon::Critical);
        return;
    }
    if (!directory) {
        refuse(tr("no send folder is set (%1 is missing). Choose one in the directory setup.")
                   .arg(QDir::toNativeSeparators(m_context.files.path(Setting::SendDir))));
        return;
    }
    if (!QFileInfo(*directory).isDir()) {
        refuse(tr("the send folder \"%1\" does not exist.").arg(QDir::toNativeSeparators(*directory)));
        return;
    }

    const QString target = QDir(*directory).filePath(MessageFile::attachmentFileName(m_context.clock.now()));
    const MailFields fields = m_boxes.fields();
    const AttachmentHeader header{fields.message, fields.subject, fields.to, fields.from,
                                  MessageFile::fileNamePart(path)};
    TaskProgress progress(this, tr("Posting %1 to the outbox...").arg(header.fileName));
    // An earlier post of the same second stays in front of this entry.
    const Outcome posted = MailPosting::appendEntry(target, [&](QIODevice &out) {
        return AttachmentStream::writeEntry(header, source, out, progress.callback());
    });
    if (!posted) {
        refuse(posted.error());
        return;
    }
    rememberAddressees(m_context, fields.to);
    Navigator &navigator = m_context.navigator;
    navigator.unload<SendFile>();
    if (auto *menu = navigator.loaded<MainMenu>())
        menu->hideTestButton();
    navigator.unload<MailForm>();
    navigator.unload<Rodiruverezer>();
    navigator.open<Rodiruverezer>();
}

void SendFile::exitToMainMenu()
{
    m_context.navigator.unload<SendFile>();
    returnToMainMenu(m_context);
}
