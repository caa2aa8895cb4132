#include "InboxForm.h"

#include "compose/AddressBook.h"
#include "compose/MailPosting.h"
#include "compose/MessageFile.h"
#include "compose/Windows1252.h"
#include "launcher/Rodiruverezer.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Modsavemodule.h"
#include "shell/Navigator.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "shell/UnattendedStation.h"
#include "shell/WindowChrome.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

InboxForm::InboxForm(DeskContext &context)
    : m_context(context)
    , m_boxes(this, {QStringLiteral("TO:"), QStringLiteral("Subject:"), QStringLiteral("Your Message:"),
                     QStringLiteral("From:")})
{
    setObjectName(QStringLiteral("inboxform"));
    setWindowTitle(QStringLiteral("Form1"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *heading = makeHeading(this, "Label1", QStringLiteral("Packet Mail Form"), 20);


    auto *replyButton = makeColouredButton(this, "Command1", QStringLiteral("&Send your reply after Editing"), {128, 255, 128});
    auto *exitButton = makeColouredButton(this, "Command2", QStringLiteral("E&XIT"), modUIColorPalette::red);
    auto *resetButton = makeColouredButton(this, "Command3", QStringLiteral("&Reset form"), {255, 255, 128});
    m_autoSaveButton = makeColouredButton(this, "cmdAutoSaveToggle", QStringLiteral("Save &Incoming Message"), {192, 192, 255});
    m_autoSaveCheck = new QCheckBox(QStringLiteral("Check1"), this);
    m_autoSaveCheck->setObjectName(QStringLiteral("chkAutoSave"));
    auto *unusedRichText = new QPlainTextEdit(this);
    unusedRichText->setObjectName(QStringLiteral("RichTextBox1"));

    layout->addWidget(heading, 0, 0, 1, 4);
    layout->addWidget(m_boxes.to, 1, 0, 1, 4);
    layout->addWidget(m_boxes.subject, 2, 0, 1, 4);
    layout->addWidget(m_boxes.message, 3, 0, 1, 4);
    layout->addWidget(m_boxes.from, 4, 0, 1, 4);
    layout->addWidget(replyButton, 5, 0);
    layout->addWidget(resetButton, 5, 1);
    layout->addWidget(m_autoSaveButton, 5, 2);
    layout->addWidget(exitButton, 5, 3);
    // Along the row of buttons, left to right.
    QWidget::setTabOrder(replyButton, resetButton);
    QWidget::setTabOrder(resetButton, m_autoSaveButton);
    QWidget::setTabOrder(m_autoSaveButton, exitButton);

    connect(replyButton, &QPushButton::clicked, this, &InboxForm::sendReply);
    connect(exitButton, &QPushButton::clicked, this, &InboxForm::exitToMainMenu);
    connect(resetButton, &QPushButton::clicked, this, [this] {
        ResetFields();
        ClearMailFile();
    });
    connect(m_autoSaveButton, &QPushButton::clicked, this,
            [this] { Moduicontrol::switchAutoSave(m_context, !m_autoSaveCheck->isChecked()); });
    connect(m_autoSaveCheck, &QCheckBox::clicked, this,
            [this](bool checked) { Moduicontrol::switchAutoSave(m_context, checked); });

    // Load steps.
    m_autoSaveCheck->hide();
    if (const auto autoSave = Modsavemodule(m_context.files, m_context.clock).storedAutoSave())
        displayAutoSave(*autoSave);
    removeCaptionBar(this);
    // Opening a received mail empties the outbox.
    addOutboxTrashedNotice(layout, 6, 4, m_context.navigator.load<Rodiruverezer>()->DeleteAllFiles());
    unusedRichText->hide();
    m_boxes.placeCaretsAtEnd();
    m_boxes.offerAddresses(m_context);
    loadMailHandOver();
}

bool InboxForm::loadMailHandOver()
{
    m_showsMail = false;
    QFile handOver(m_context.files.path(Setting::MailHandOver));
    if (!handOver.exists())
        return false;
    if (const Outcome opened = RegularFile::openForReading(handOver); !opened) {
        m_context.prompter.inform(QStringLiteral("Error opening file: ") + opened.error());
        return false;
    }
    const QString text = Windows1252::decode(handOver.readAll());
    if (text.isEmpty())
        return false;
    const auto mail = MessageFile::parseMail(text);
    if (!mail) {
        m_context.prompter.inform(QStringLiteral("File content is not in the expected format."));
        return false;
    }
    m_boxes.setFields(*mail);
    m_showsMail = true;
    return true;
}

MailFields InboxForm::fields() const
{
    return m_boxes.fields();
}

void InboxForm::ResetFields()
{
    m_boxes.setFields({QStringLiteral("To: "), QStringLiteral("Subject: "), QStringLiteral("Your Message: "),
                       QStringLiteral("From: ")});
}

void InboxForm::ClearMailFile()
{
    // Emptying the scratch hand-over file is a courtesy; the mail itself is safe.
    static_cast<void>(m_context.files.clear(Setting::MailHandOver));
}

void InboxForm::hideReplyControls()
{
    for (const char *name : {"Command1", "Command3", "cmdAutoSaveToggle"})
        findChild<QPushButton *>(QLatin1String(name))->hide();
}

void InboxForm::sendReply()
{
    const auto posted = MailPosting::postReply(m_context.files, m_context.clock.now(), fields());
    if (!posted) {
        m_context.prompter.inform(posted.error(), Prompter::Icon::Critical);
        return;
    }
    rememberAddressees(m_context, fields().to);
    if (m_context.unattended)
        m_context.unattended->record(tr("replied to %1: %2").arg(fields().from.trimmed(), fields().subject.trimmed()));
    ResetFields();
    ClearMailFile();
    Navigator &navigator = m_context.navigator;
    navigator.unload<InboxForm>();
    navigator.unload<Rodiruverezer>();
    navigator.open<Rodiruverezer>();
}

void InboxForm::exitToMainMenu()
{
    if (m_autoSaveCheck->isChecked()) {
        // The reader closes whatever happens; a failed save is said in words.
        if (const Outcome saved = Modsavemodule(m_context.files, m_context.clock).saveReceivedMessage(fields()); !saved)
            m_context.prompter.inform(saved.error(), Prompter::Icon::Exclamation);
        else if (m_context.unattended)
            m_context.unattended->record(tr("saved the message from %1 to the save folder").arg(fields().from.trimmed()));
    }
    m_context.navigator.unload<InboxForm>();
    returnToMainMenu(m_context);
}

void InboxForm::displayAutoSave(bool on)
{
    Moduicontrol::paintAutoSaveControls(m_autoSaveCheck, m_autoSaveButton, on);
}
