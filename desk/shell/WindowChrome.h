#pragma once

#include <QColor>
#include <QLineEdit>
#include <QMargins>
#include <QRect>
#include <QSize>

#include <functional>

class QAbstractButton;
class QGridLayout;
class QLabel;
class QPushButton;
class QString;
class QWidget;

/// The few colours the desk sets from code.
namespace modUIColorPalette {
inline const QColor onColour{0, 255, 0};
inline const QColor red{255, 0, 0};
inline const QColor offColour{255, 200, 150};
/// The background of every screen but the entry form.
inline const QColor panelGrey{224, 224, 224};
/// The entry form's night sky.
inline const QColor nightBlue{10, 20, 60};
} // namespace modUIColorPalette

/// The room between a screen's edge and its controls.
namespace screenMargins {
/// Screens of boxes, lists and buttons.
inline constexpr QMargins form{30, 20, 30, 20};
/// Screens of a few large controls: the entry form and the mail chooser.
inline constexpr QMargins spacious{40, 30, 40, 30};
/// The launcher, whose many buttons need the room.
inline constexpr QMargins launcher{24, 16, 24, 16};
/// The directory setup, whose tabs carry their own frames.
inline constexpr QMargins tight{8, 8, 8, 8};
} // namespace screenMargins

/// The desk's screens are fixed panels without a title bar; this takes the
/// bar off a screen (before it is first shown).
void removeCaptionBar(QWidget *screen);

/// Gives a button or check box a flat background colour that shows on every style.
void setBackground(QWidget *control, const QColor &colour);

/// Gives a widget a fixed background colour for its whole area.
void setPanelColour(QWidget *panel, const QColor &colour);

/// A screen's frame: its colour over the whole area and its top layout
/// with the screen's margins. Every screen is built on one.
template <class Layout>
Layout *makeScreenFrame(QWidget *screen, const QMargins &margins = screenMargins::form,
                        const QColor &colour = modUIColorPalette::panelGrey)
{
    setPanelColour(screen, colour);
    auto *layout = new Layout(screen);
    layout->setContentsMargins(margins);
    return layout;
}

/// A bold push button in the graphical style with its background colour.
QPushButton *makeColouredButton(QWidget *parent, const char *objectName, const QString &caption,
                                const QColor &colour, int pointSize = 12);

/// A bold, centred label.
QLabel *makeHeading(QWidget *parent, const char *objectName, const QString &text, int pointSize);

/// Runs `action` when the operator clicks the box or presses Enter in it:
/// a path box that opens what it names.
void onBoxActivated(QLineEdit *box, std::function<void()> action);

/// Adds, across `span` columns of `row`, the line that says how many unsent
/// messages emptying the outbox moved to the trash; adds nothing when none.
void addOutboxTrashedNotice(QGridLayout *layout, int row, int span, int trashed);

/// The largest a screen opens: every screen fits a 1024x768 display.
inline constexpr QSize largestScreenSize{1024, 768};

/// Sizes a screen to its layout's wish within `room` and largestScreenSize
/// (never below what its layout needs) and moves it to the middle of `room`.
void fitOnDisplay(QWidget *screen, const QRect &room);

/// Moves a shown screen back inside `room` where it sticks out.
void keepInside(QWidget *screen, const QRect &room);

/// The point size of list and path text on every screen: the size of the
/// screens' other plain text, so a list is as readable as the buttons beside it.
inline constexpr int listPointSize = 11;

/// Gives a list (or any item view or box) the screens' list text size.
void useListFont(QWidget *list);

/// Sets a button's caption and keeps the Alt shortcut it had: the letter of
/// the old caption's "&" is marked in the new caption (its first occurrence),
/// so a switch that rewrites its caption never loses its key.
void setCaptionKeepingMnemonic(QAbstractButton *button, const QString &caption);

/// The first visible, enabled widget of the screen's tab chain that takes
/// focus by Tab; null when there is none.
QWidget *firstTabStop(QWidget *screen);

/// A read-only box for a path that shows a long path shortened in the
/// middle (both its start and its file name stay visible) and the whole
/// path as its tool tip. Its text() is always the whole path.
class PathBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit PathBox(QWidget *parent = nullptr);

    /// A line shown in the tool tip above the path.
    void setToolTipLead(const QString &lead);

    /// The text as shown now, shortened to the box's width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateToolTip();
    int textWidth() const;

    QString m_lead;
};
