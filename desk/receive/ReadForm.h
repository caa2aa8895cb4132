#pragma once

#include "compose/MailBoxes.h"

#include <QWidget>

struct DeskContext;

/// `readform`: shows one saved message, handed over through the
/// working directory's "temp" file by the saved-messages screen.
class ReadForm : public QWidget
{
    Q_OBJECT
public:
    explicit ReadForm(DeskContext &context);

private:
    void loadHandOver();
    void exitToMainMenu();

    DeskContext &m_context;
    MailBoxes m_boxes;
};
