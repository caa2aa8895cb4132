#pragma once

#include "DirectoryPaths.h"
#include "shell/SettingFiles.h"

#include <QWidget>

struct DeskContext;
class DirectoryBrowser;
class QLabel;
class QLineEdit;
class QPushButton;

/// A box for the name of a new working directory and its create button.
struct NewDirectoryBox {
    const char *nameBox;
    const char *defaultName; ///< shown after a separator, "MAIL SAVE" as "/MAIL SAVE"
    const char *createButton;
    const char *createCaption;
    const char *errorPrefix;
};

/// One row of the directory setup: what a set is called, what it stores
/// and where.
struct DirectorySetRow {
    int number;
    const char *caption;
    SetKind kind;
    const char *displayBox;
    const char *enterButton;
    SettingFile file;
    bool storesAtChange;               ///< a change of directory stores it at once
    const char *enterFailure;          ///< replaces the usual failure text; null for the usual one
    const NewDirectoryBox *newDirectory; ///< null for sets without one
};

/// One directory set: its caption, the three lists, a display box with the
/// value its ENTER stored, the ENTER button and, for some working
/// directories, a box and button that create a new directory.
class DirectorySet : public QWidget
{
    Q_OBJECT
public:
    DirectorySet(const DirectorySetRow &row, DeskContext &context, const QString &start,
                 QWidget *parent = nullptr);

    const DirectorySetRow &row() const { return m_row; }
    DirectoryBrowser *browser() const { return m_browser; }
    QLineEdit *display() const { return m_display; }
    /// Null for sets without a new-directory box.
    QLineEdit *nameBox() const { return m_nameBox; }
    QPushButton *createButton() const { return m_createButton; }
    QPushButton *enterButton() const { return m_enterButton; }

    /// Keeps room for that many lines of caption.
    void setCaptionLines(int lines);

private:
    void store();
    void createDirectory();
    void storeChangedDirectory(const QString &directory);
    void refuse(const QString &reason);

    const DirectorySetRow &m_row;
    DeskContext &m_context;
    QLabel *m_caption = nullptr;
    DirectoryBrowser *m_browser = nullptr;
    QLineEdit *m_display = nullptr;
    QLineEdit *m_nameBox = nullptr;
    QPushButton *m_createButton = nullptr;
    QPushButton *m_enterButton = nullptr;
};
