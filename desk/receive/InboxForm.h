#pragma once

#include "compose/MailBoxes.h"
#include "shell/Moduicontrol.h"

#include <QWidget>

struct DeskContext;
class QCheckBox;
class QPushButton;

/// `inboxform`: shows one received mail decoded, posts an edited reply
/// into the outbox, and archives the mail on leaving when auto-save is on.
class InboxForm : public QWidget, public AutoSaveDisplay
{
    Q_OBJECT
public:
    explicit InboxForm(DeskContext &context);

    void displayAutoSave(bool on) override;

    /// Hides the reply, reset and auto-save buttons until the next load;
    /// the self-test shows its message this way.
    void hideReplyControls();

    MailFields fields() const;

    /// Shows the mail waiting in the hand-over file; false when there is
    /// none or it cannot be shown (the reason is said).
    bool loadMailHandOver();

    /// The boxes show the mail last handed over.
    bool showsHandedOverMail() const { return m_showsMail; }

private:
    void ResetFields();
    void ClearMailFile();
    void sendReply();
    void exitToMainMenu();

    DeskContext &m_context;
    MailBoxes m_boxes;
    QCheckBox *m_autoSaveCheck = nullptr;
    QPushButton *m_autoSaveButton = nullptr;
    bool m_showsMail = false;
};
