#include "EnterForm.h"

#include "DeskContext.h"
#include "MainMenu.h"
#include "compose/SendFile.h"
#include "receive/InboxForm.h"
#include "receive/ReceiveFile.h"
#include "receive/Received.h"
#include "Modsoundcontrol.h"
#include "Navigator.h"
#include "WindowChrome.h"
#include "platform/Speaker.h"
#include "setup/DirChange.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace {

const QColor green{0, 255, 0};
const QColor yellow{255, 255, 0};

// The station picture: a mast sending waves into a night sky.
QPixmap stationPicture()
{
    QPixmap picture(420, 260);
    picture.fill(modUIColorPalette::nightBlue);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(200, 200, 210), 4));
    const QPointF top(210, 95);
    painter.drawLine(top, QPointF(170, 240));
    painter.drawLine(top, QPointF(250, 240));
    painter.drawLine(QPointF(185, 180), QPointF(235, 180));
    painter.drawLine(QPointF(195, 130), QPointF(225, 130));
    painter.setPen(QPen(QColor(255, 255, 0), 3));
    for (int ring = 1; ring <= 3; ++ring) {
        const qreal r = 26.0 * ring;
        const QRectF box(top.x() - r, top.y() - r, 2 * r, 2 * r);
        painter.drawArc(box, 30 * 16, 120 * 16);
    }
    return picture;
}

} // namespace

EnterForm::EnterForm(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("ENTER"));
    setWindowTitle(QStringLiteral("Form1"));
    removeCaptionBar(this);
    auto *layout = makeScreenFrame<QGridLayout>(this, screenMargins::spacious, modUIColorPalette::nightBlue);

    auto *title = makeHeading(this, "Label1", QStringLiteral("TAVRIX PACKET MESSAGING PROGRAM"), 30);
    title->setStyleSheet(QStringLiteral("color: rgb(255,255,0); background: transparent;"));

    auto *image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(stationPicture());
    image->setAlignment(Qt::AlignCenter);

    auto *setupButton = makeColouredButton(this, "Command1", QStringLiteral("&SETUP"), green, 14);
    auto *enterButton = makeColouredButton(this, "Command3", QStringLiteral("&ENTER"), yellow, 14);
    auto *quitButton = makeColouredButton(this, "Command2", QStringLiteral("&QUIT"), modUIColorPalette::red, 14);
    m_reenter = makeColouredButton(this, "reenter", QStringLiteral("&RE-ENTER"), yellow, 14);

    layout->setVerticalSpacing(24);
    layout->addWidget(title, 0, 0, 1, 3);
    layout->addWidget(image, 1, 0, 1, 3);
    for (QPushButton *button : {setupButton, enterButton, quitButton, m_reenter})
        button->setMinimumSize(220, 56);
    layout->addWidget(setupButton, 2, 0);
    // "&RE-ENTER" shares the cell of "&ENTER" and, added later, lies above it.
    layout->addWidget(enterButton, 2, 1);
    layout->addWidget(m_reenter, 2, 1);
    layout->addWidget(quitButton, 2, 2);

    connect(setupButton, &QPushButton::clicked, this, &EnterForm::setup);
    connect(enterButton, &QPushButton::clicked, this, &EnterForm::enter);
    connect(quitButton, &QPushButton::clicked, this, &EnterForm::quit);
    connect(m_reenter, &QPushButton::clicked, this, &EnterForm::reenter);

    m_reenter->hide();
    m_context.navigator.unload<InboxForm>();
    m_context.navigator.unload<MainMenu>();
}

void EnterForm::showReenter()
{
    m_reenter->show();
    m_reenter->raise();
}

void EnterForm::setup()
{
    m_context.navigator.unload<EnterForm>();
    m_context.navigator.open<DirChange>();
}

void EnterForm::enter()
{
    if (Modsoundcontrol(m_context.files).isSoundOn())
        m_context.speaker.speak(QStringLiteral("Welcome"));
    m_context.navigator.unload<EnterForm>();
    m_context.navigator.unload<InboxForm>();
    MainMenu::open(m_context, MainMenu::Opener::Enter);
}

void EnterForm::quit()
{
    if (Modsoundcontrol(m_context.files).isSoundOn())
        m_context.speaker.speakAndWait(QStringLiteral("Goodbye"));
    m_context.quit();
}

void EnterForm::reenter()
{
    Navigator &navigator = m_context.navigator;
    navigator.unload<EnterForm>();
    navigator.unload<ReceiveFile>();
    navigator.unload<SendFile>();
    MainMenu::open(m_context, MainMenu::Opener::Reenter);
    // Loading the received list starts the monitor: arrivals are announced from now on.
    navigator.load<Received>();
}
