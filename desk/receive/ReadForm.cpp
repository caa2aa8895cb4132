#include "ReadForm.h"

#include "InboxForm.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Modsavemodule.h"
#include "shell/Navigator.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "shell/WindowChrome.h"

#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const MailFields designTexts{QStringLiteral("TO:"), QStringLiteral("Subject:"), QStringLiteral("Your Message:"),
                             QStringLiteral("From:")};
}

ReadForm::ReadForm(DeskContext &context)
    : m_context(context)
    , m_boxes(this, designTexts)
{
    setObjectName(QStringLiteral("readform"));
    setWindowTitle(QStringLiteral("Readform"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *heading = makeHeading(this, "Label1", QStringLiteral("Packet Mail Form"), 20);
    auto *exitButton = makeColouredButton(this, "Command2", QStringLiteral("E&XIT"), modUIColorPalette::red);
    auto *unusedRichText = new QPlainTextEdit(this);
    unusedRichText->setObjectName(QStringLiteral("RichTextBox1"));
    unusedRichText->hide();

    layout->addWidget(heading, 0, 0);
    layout->addWidget(m_boxes.to, 1, 0);
    layout->addWidget(m_boxes.subject, 2, 0);
    layout->addWidget(m_boxes.message, 3, 0);
    layout->addWidget(m_boxes.from, 4, 0);
    layout->addWidget(exitButton, 5, 0);
    connect(exitButton, &QPushButton::clicked, this, &ReadForm::exitToMainMenu);

    loadHandOver();
}

void ReadForm::loadHandOver()
{
    QFile handOver(m_context.files.path(Setting::SavedMessageHandOver));
    if (!handOver.exists()) {
        m_context.prompter.inform(QStringLiteral("File 'temp' not found"));
        return;
    }
    if (const Outcome opened = RegularFile::openForReading(handOver); !opened) {
        m_context.prompter.inform(QStringLiteral("Error loading file: ") + opened.error());
        removeCaptionBar(this);
        return;
    }
    const QByteArray saved = handOver.readAll();
    if (saved.isEmpty())
        return;
    // Boxes without a piece keep their design text.
    const QStringList pieces = Modsavemodule::savedMessagePieces(saved);
    MailFields mail = designTexts;
    QString *targets[] = {&mail.to, &mail.subject, &mail.message, &mail.from};
    for (int i = 0; i < 4 && i < pieces.size(); ++i)
        *targets[i] = pieces.at(i);
    m_boxes.setFields(mail);
}

void ReadForm::exitToMainMenu()
{
    m_boxes.setFields(designTexts);
    // Emptying the scratch hand-over file is a courtesy; the mail itself is safe.
    static_cast<void>(m_context.files.clear(Setting::MailHandOver));
    m_context.navigator.unload<InboxForm>();
    m_context.navigator.unload<ReadForm>();
    returnToMainMenu(m_context);
}
