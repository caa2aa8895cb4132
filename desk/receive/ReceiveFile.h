#pragma once

#include <QWidget>

struct DeskContext;
class QLineEdit;
class QPlainTextEdit;

/// `receivefile`: opens a received attachment message, shows its texts and
/// writes the attached file into the program's folder, from where the
/// operator saves a copy anywhere.
class ReceiveFile : public QWidget
{
    Q_OBJECT
public:
    explicit ReceiveFile(DeskContext &context);

private:
    void ResetFields();
    void DecodeAttachment(const QString &path);
    void saveCopy();
    void exitToMainMenu();
    void fail(const QString &why);

    DeskContext &m_context;
    QPlainTextEdit *m_message = nullptr;
    QLineEdit *m_subject = nullptr;
    QLineEdit *m_to = nullptr;
    QLineEdit *m_from = nullptr;
    QLineEdit *m_savedPath = nullptr;
};
