#include "MailForm.h"

#include "MailPosting.h"
#include "launcher/Rodiruverezer.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"
#include "shell/WindowChrome.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

MailForm::MailForm(DeskContext &context)
    : m_context(context)
    , m_boxes(this, {QStringLiteral("TO-"), QStringLiteral("Subject-"), QString(), QStringLiteral("From-")})
{
    setObjectName(QStringLiteral("mailform"));
    // The composer keeps its title bar.
    setWindowTitle(QStringLiteral("mailform"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *heading = makeHeading(this, "Label1", QStringLiteral("Packet Mail Form"), 20);
    auto *messageLabel = new QLabel(QStringLiteral("Your Message"), this);
    messageLabel->setObjectName(QStringLiteral("Label2"));
    auto *postButton = makeColouredButton(this, "Command1", QStringLiteral("&Post to Outbox"), {128, 255, 128});
    auto *resetButton = makeColouredButton(this, "Command3", QStringLiteral("&Reset form"), {255, 255, 128});
    auto *exitButton = makeColouredButton(this, "Command2", QStringLiteral("E&XIT"), modUIColorPalette::red);
    auto *unusedRichText = new QPlainTextEdit(this);
    unusedRichText->setObjectName(QStringLiteral("RichTextBox1"));

    layout->addWidget(heading, 0, 0, 1, 3);
    layout->addWidget(m_boxes.to, 1, 0, 1, 3);
    layout->addWidget(m_boxes.subject, 2, 0, 1, 3);
    layout->addWidget(messageLabel, 3, 0, 1, 3);
    layout->addWidget(m_boxes.message, 4, 0, 1, 3);
    layout->addWidget(m_boxes.from, 5, 0, 1, 3);
    layout->addWidget(postButton, 6, 0);
    layout->addWidget(resetButton, 6, 1);
    layout->addWidget(exitButton, 6, 2);

    connect(postButton, &QPushButton::clicked, this, &MailForm::post);
    connect(resetButton, &QPushButton::clicked, this, [this] {
        ResetFields();
        ClearMailFile();
    });
    connect(exitButton, &QPushButton::clicked, this, &MailForm::exitToMainMenu);

    // Load steps: the outbox is emptied so that it holds only what is posted from here.
    addOutboxTrashedNotice(layout, 7, 3, m_context.navigator.load<Rodiruverezer>()->DeleteAllFiles());
    unusedRichText->hide();
    m_boxes.placeCaretsAtEnd();
    m_boxes.offerAddresses(m_context);
}

void MailForm::ResetFields()
{
    m_boxes.setFields({QStringLiteral("To: "), QStringLiteral("Subject: "), QStringLiteral("Your Message: "),
                       QStringLiteral("From- ")});
}

void MailForm::ClearMailFile()
{
    // Emptying the scratch hand-over file is a courtesy; the mail itself is safe.
    static_cast<void>(m_context.files.clear(Setting::MailHandOver));
}

void MailForm::post()
{
    const auto posted = MailPosting::postMail(m_context.files, m_context.clock.now(), m_boxes.fields());
    if (!posted) {
        m_context.prompter.inform(posted.error(), Prompter::Icon::Critical);
        return;
    }
    rememberAddressees(m_context, m_boxes.fields().to);
    ResetFields();
    ClearMailFile();
    if (auto *menu = m_context.navigator.loaded<MainMenu>())
        menu->hideTestButton();
    Navigator &navigator = m_context.navigator;
    navigator.unload<MailForm>();
    // A fresh launcher lists the new file and reads its button states anew.
    navigator.unload<Rodiruverezer>();
    navigator.open<Rodiruverezer>();
}

void MailForm::exitToMainMenu()
{
    ResetFields();
    ClearMailFile();
    m_context.navigator.unload<MailForm>();
    returnToMainMenu(m_context);
}
