#pragma once

#include "MailBoxes.h"

#include <QWidget>

struct DeskContext;

/// `mailform`: composes one plain mail into the outbox and hands over to
/// the launcher, from which the operator starts the program that sends it.
class MailForm : public QWidget
{
    Q_OBJECT
public:
    explicit MailForm(DeskContext &context);

private:
    void ResetFields();
    void ClearMailFile();
    void post();
    void exitToMainMenu();

    DeskContext &m_context;
    MailBoxes m_boxes;
};
