#include "WindowChrome.h"

#include "launcher/Outbox.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWidget>

#include <algorithm>

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

void fitOnDisplay(QWidget *screen, const QRect &room)
{
    screen->adjustSize();
    // adjustSize keeps a window within two thirds of the display; a screen
    // that asks for more (the directory setup) gets it, up to the limit.
    const QSize size = screen->size().expandedTo(screen->sizeHint()).boundedTo(largestScreenSize).boundedTo(room.size())
                           .expandedTo(screen->minimumSizeHint());
    screen->resize(size);
    screen->move(room.center() - screen->rect().center());
    keepInside(screen, room);
}

void keepInside(QWidget *screen, const QRect &room)
{
    const QRect frame = screen->frameGeometry();
    QPoint shift;
    if (frame.right() > room.right())
        shift.rx() = room.right() - frame.right();
    if (frame.bottom() > room.bottom())
        shift.ry() = room.bottom() - frame.bottom();
    // The top left wins when the screen is larger than the room: its heading
    // and first controls stay in sight.
    if (frame.left() + shift.x() < room.left())
        shift.rx() = room.left() - frame.left();
    if (frame.top() + shift.y() < room.top())
        shift.ry() = room.top() - frame.top();
    if (!shift.isNull())
        screen->move(screen->pos() + shift);
}

void useListFont(QWidget *list)
{
    QFont font = list->font();
    font.setPointSize(listPointSize);
    list->setFont(font);
}

void setCaptionKeepingMnemonic(QAbstractButton *button, const QString &caption)
{
    const QKeySequence old = QKeySequence::mnemonic(button->text());
    QString marked = caption;
    if (!old.isEmpty() && !caption.contains(u'&')) {
        // The old key as a letter: Alt+I is "I".
        const QString letter = QKeySequence(QKeyCombination(old[0].key())).toString();
        const qsizetype at = letter.size() == 1 ? caption.indexOf(letter, 0, Qt::CaseInsensitive) : -1;
        if (at >= 0)
            marked.insert(at, u'&');
    }
    button->setText(marked);
}

QWidget *firstTabStop(QWidget *screen)
{
    for (QWidget *widget = screen->nextInFocusChain(); widget && widget != screen;
         widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && widget->isVisibleTo(screen)
            && widget->isEnabled() && widget->window() == screen)
            return widget;
    }
    return nullptr;
}

PathBox::PathBox(QWidget *parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
    connect(this, &QLineEdit::textChanged, this, &PathBox::updateToolTip);
}

void PathBox::setToolTipLead(const QString &lead)
{
    m_lead = lead;
    updateToolTip();
}

void PathBox::updateToolTip()
{
    QStringList lines;
    if (!m_lead.isEmpty())
        lines << m_lead;
    if (!text().isEmpty())
        lines << text();
    setToolTip(lines.join(u'\n'));
}

int PathBox::textWidth() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect inside = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    // The line edit keeps a small margin on each side of its text.
    return std::max(0, inside.width() - 4);
}

QString PathBox::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textWidth());
}

void PathBox::paintEvent(QPaintEvent *event)
{
    // A selection or caret needs the line edit's own drawing; a box at rest
    // shows the shortened path.
    if (hasFocus() || shownText() == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    const QRect inside = style()->subElementRect(QStyle::SE_LineEditContents, &option, this).adjusted(2, 0, -2, 0);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(inside, Qt::AlignVCenter | Qt::AlignLeft, shownText());
}
