#pragma once

#include <QWidget>

struct DeskContext;
class QLineEdit;
class QListWidget;

/// `saveform`: lists the archive of saved mail, deletes a file of it, and
/// opens one in the saved-message reader.
class SaveForm : public QWidget
{
    Q_OBJECT
public:
    explicit SaveForm(DeskContext &context);

private:
    void refreshList();
    void pickFile();
    void openPicked(bool fromPathBox);
    void deletePicked();
    void exitToMainMenu();

    DeskContext &m_context;
    QString m_directory;
    QListWidget *m_list = nullptr;
    QLineEdit *m_path = nullptr;
};
