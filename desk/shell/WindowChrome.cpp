#include "WindowChrome.h"

#include "launcher/Outbox.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

void removeCaptionBar(QWidget *screen)
{
    screen->setWindowFlag(Qt::FramelessWindowHint, true);
}

void setBackground(QWidget *control, const QColor &colour)
{
    // A style sheet is the one way a push button's colour shows on every
    // platform style; the border keeps the button looking pressable.
    control->setStyleSheet(QStringLiteral("background-color: %1; border: 2px outset #808080; padding: 4px;")
                               .arg(colour.name()));
    control->setProperty("backgroundColour", colour);
}

void setPanelColour(QWidget *panel, const QColor &colour)
{
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

QPushButton *makeColouredButton(QWidget *parent, const char *objectName, const QString &caption,
                                const QColor &colour, int pointSize)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(objectName));
    QFont font = button->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    button->setFont(font);
    button->setMinimumHeight(44);
    setBackground(button, colour);
    return button;
}

QLabel *makeHeading(QWidget *parent, const char *objectName, const QString &text, int pointSize)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    label->setFont(font);
    return label;
}

namespace {

class BoxActivation : public QObject
{
public:
    BoxActivation(QLineEdit *box, std::function<void()> action)
        : QObject(box)
        , m_action(std::move(action))
    {
        box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const bool click = event->type() == QEvent::MouseButtonRelease;
        const bool enter = event->type() == QEvent::KeyPress
                           && (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return
                               || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter);
        if (!click && !enter)
            return false;
        m_action();
        return true;
    }

private:
    std::function<void()> m_action;
};

} // namespace

void onBoxActivated(QLineEdit *box, std::function<void()> action)
{
    new BoxActivation(box, std::move(action));
}

void addOutboxTrashedNotice(QGridLayout *layout, int row, int span, int trashed)
{
    // Said in a line on the screen, not a box to click away.
    const QString notice = Outbox::trashedNotice(trashed);
    if (notice.isEmpty())
        return;
    auto *line = new QLabel(notice, layout->parentWidget());
    line->setObjectName(QStringLiteral("outboxTrashedNotice"));
    line->setWordWrap(true);
    layout->addWidget(line, row, 0, 1, span);
}
