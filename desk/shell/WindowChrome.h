#pragma once

#include <QColor>

#include <functional>

class QAbstractButton;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QString;
class QWidget;

/// The few colours the desk sets from code.
namespace modUIColorPalette {
inline const QColor onColour{0, 255, 0};
inline const QColor red{255, 0, 0};
inline const QColor offColour{255, 200, 150};
} // namespace modUIColorPalette

/// The desk's screens are fixed panels without a title bar; this takes the
/// bar off a screen (before it is first shown).
void removeCaptionBar(QWidget *screen);

/// Gives a button or check box a flat background colour that shows on every style.
void setBackground(QWidget *control, const QColor &colour);

/// Gives a widget a fixed background colour for its whole area.
void setPanelColour(QWidget *panel, const QColor &colour);

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
