#pragma once

#include "compose/MailBoxes.h"

#include <QWidget>

struct DeskContext;
class QLineEdit;

/// `receivefile`: opens a received attachment message, shows its texts and
/// writes the attached file into the program's folder, from where the
/// operator saves a copy anywhere.
class ReceiveFile : public QWidget
{
    Q_OBJECT
public:
    explicit ReceiveFile(DeskContext &context);

    /// The handed-over message was read whole and its attached file written;
    /// until then the received file must stay where it arrived.
    bool tookWholeMessage() const { return m_tookWholeMessage; }

private:
    void ResetFields();
    void DecodeAttachment(const QString &path);
    void saveCopy();
    void exitToMainMenu();
    void fail(const QString &why);

    DeskContext &m_context;
    MailBoxes m_boxes;
    QLineEdit *m_savedPath = nullptr;
    bool m_tookWholeMessage = false;
};
