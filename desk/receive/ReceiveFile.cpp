#include "ReceiveFile.h"

#include "InboxForm.h"
#include "Received.h"
#include "ReceivedAttachment.h"
#include "compose/MessageFile.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"
#include "shell/TaskProgress.h"
#include "shell/WindowChrome.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

ReceiveFile::ReceiveFile(DeskContext &context)
    : m_context(context)
    , m_boxes(this, {})
{
    setObjectName(QStringLiteral("receivefile"));
    setWindowTitle(QStringLiteral("Receive a sent attachment"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *savedPath = new PathBox(this);
    savedPath->setToolTipLead(tr("Click here, or press Enter, to save a copy elsewhere"));
    m_savedPath = savedPath;
    m_savedPath->setObjectName(QStringLiteral("Text5"));
    onBoxActivated(m_savedPath, [this] { saveCopy(); });
    auto *instruction = new QLabel(QStringLiteral("Click On File To Save"), this);
    instruction->setObjectName(QStringLiteral("Label2"));
    instruction->setBuddy(m_savedPath);
    auto *exitButton = makeColouredButton(this, "Command2", QStringLiteral("E&XIT"), modUIColorPalette::red);
    connect(exitButton, &QPushButton::clicked, this, &ReceiveFile::exitToMainMenu);

    layout->addWidget(makeHeading(this, "Label1", QStringLiteral("Packet Mail Form"), 20), 0, 0, 1, 2);
    layout->addWidget(m_boxes.to, 1, 0, 1, 2);
    layout->addWidget(m_boxes.subject, 2, 0, 1, 2);
    layout->addWidget(m_boxes.message, 3, 0, 1, 2);
    layout->addWidget(m_boxes.from, 4, 0, 1, 2);
    layout->addWidget(instruction, 5, 0);
    layout->addWidget(m_savedPath, 5, 1);
    layout->addWidget(exitButton, 6, 0, 1, 2);

    // Load steps.
    ResetFields();
    const QString handOver = m_context.files.path(Setting::AttachmentHandOver);
    if (QFile::exists(handOver))
        DecodeAttachment(handOver);
    else
        m_context.prompter.inform(QStringLiteral("Error: temp file not found!"));
    if (auto *list = m_context.navigator.loaded<Received>())
        list->hide();
    removeCaptionBar(this);
}

void ReceiveFile::ResetFields()
{
    m_boxes.setFields({QStringLiteral("To: "), QStringLiteral("Subject: "), QStringLiteral("Your Message: "),
                       QStringLiteral("From: ")});
    m_savedPath->clear();
}

void ReceiveFile::fail(const QString &why)
{
    m_context.prompter.inform(tr("The attachment could not be received: %1").arg(why), Prompter::Icon::Critical);
}

void ReceiveFile::DecodeAttachment(const QString &path)
{
    ReceivedAttachment attachment(path, m_context.files);
    const Result<AttachmentHeader> header = attachment.readHeader();
    if (!header) {
        if (attachment.isFormatError())
            m_context.prompter.inform(header.error(), Prompter::Icon::Critical);
        else
            fail(header.error());
        return;
    }
    m_boxes.setFields({header->to, header->subject, header->message, header->from});

    const Result<QString> target = attachment.targetFor(header->fileName);
    if (!target) {
        fail(target.error());
        return;
    }
    TaskProgress progress(this, tr("Receiving %1...").arg(QFileInfo(*target).fileName()));
    if (const Outcome written = attachment.writeData(*target, progress.callback()); !written) {
        fail(written.error());
        return;
    }
    m_savedPath->setText(QDir::toNativeSeparators(*target));
    if (m_context.unattended)
        m_context.unattended->record(tr("saved attachment %1").arg(QDir::toNativeSeparators(*target)));
    if (attachment.hasMoreEntries()) {
        m_context.prompter.inform(tr("The message file holds more than this one attachment, and only the first "
                                     "one was received. The file is kept in the receive folder, so that nothing "
                                     "in it is lost."),
                                  Prompter::Icon::Exclamation);
        return;
    }
    if (attachment.endIsUncertain()) {
        m_context.prompter.inform(tr("The line ends of this message were changed on the way, so it cannot be "
                                     "checked that %1 holds exactly what was sent and no part of a further "
                                     "message. The message file is kept in the receive folder.")
                                      .arg(QDir::toNativeSeparators(*target)),
                                  Prompter::Icon::Exclamation);
        return;
    }
    m_tookWholeMessage = true;
}

void ReceiveFile::saveCopy()
{
    const QString source = QDir::fromNativeSeparators(m_savedPath->text());
    const QString proposed = MessageFile::fileNamePart(source);
    const QString destination =
        m_context.filePicker.saveFile(QStringLiteral("Save Attachment As"), QStringLiteral("All Files (*)"), proposed);
    if (destination.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("No destination selected."), Prompter::Icon::Exclamation);
        return;
    }
    if (proposed.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("Error: Received file not found!"), Prompter::Icon::Critical);
        return;
    }
    if (!ReceivedAttachment::hasContent(source)) {
        m_context.prompter.inform(QStringLiteral("Error: File is empty or unreadable!"), Prompter::Icon::Critical);
        return;
    }
    if (const Outcome copied = ReceivedAttachment::copyWhole(source, destination); !copied) {
        m_context.prompter.inform(tr("The copy could not be saved: %1").arg(copied.error()), Prompter::Icon::Critical);
        return;
    }
    if (m_context.unattended)
        m_context.unattended->record(tr("saved a copy of the attachment to %1").arg(QDir::toNativeSeparators(destination)));
    m_context.prompter.inform(QStringLiteral("File successfully saved to: ") + QDir::toNativeSeparators(destination),
                              Prompter::Icon::Information);
    ResetFields();
}

void ReceiveFile::exitToMainMenu()
{
    Navigator &navigator = m_context.navigator;
    // A reader loaded later starts with all its buttons again.
    navigator.unload<InboxForm>();
    navigator.unload<ReceiveFile>();
    returnToMainMenu(m_context);
}
