#include "FrmDecide.h"

#include "MailForm.h"
#include "SendFile.h"
#include "shell/DeskContext.h"
#include "shell/Navigator.h"
#include "shell/WindowChrome.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FrmDecide::FrmDecide(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("frmdecide"));
    setWindowTitle(QStringLiteral("Form1"));
    auto *layout = makeScreenFrame<QVBoxLayout>(this, screenMargins::spacious);
    removeCaptionBar(this);

    auto *question = makeHeading(this, "Label1",
                                 QStringLiteral("Send a Regular Packet Mail or a Packet Mail with an Attachment"), 16);
    question->setWordWrap(true);
    auto *mailButton = makeColouredButton(this, "Cmdmail", QStringLiteral("&Send Packet Mail"), {255, 255, 128});
    auto *fileButton =
        makeColouredButton(this, "Cmdfile", QStringLiteral("Send Packet Mail with &Attached File"), {128, 255, 255});

    layout->setSpacing(20);
    layout->addWidget(question);
    layout->addWidget(mailButton);
    layout->addWidget(fileButton);

    connect(mailButton, &QPushButton::clicked, this, [this] {
        m_context.navigator.unload<FrmDecide>();
        m_context.navigator.open<MailForm>();
    });
    connect(fileButton, &QPushButton::clicked, this, [this] {
        m_context.navigator.unload<FrmDecide>();
        m_context.navigator.open<SendFile>();
    });
}
