#pragma once

#include "MailBoxes.h"

#include <QWidget>

struct DeskContext;
class QLineEdit;

/// `sendfile`: composes a message with one attached file of any kind into
/// the outbox, then hands over to the launcher.
class SendFile : public QWidget
{
    Q_OBJECT
public:
    explicit SendFile(DeskContext &context);

private:
    void addFile();
    void post();
    void exitToMainMenu();

    DeskContext &m_context;
    MailBoxes m_boxes;
    QLineEdit *m_path = nullptr;
};
