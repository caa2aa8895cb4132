#include "WindowChrome.h"

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
