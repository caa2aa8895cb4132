#pragma once

#include "Outbox.h"

#include <QWidget>

struct DeskContext;
struct LaunchedProgram;
class QGridLayout;
class QLabel;
class QListWidget;
class QPushButton;

/// `RODIRUVEREZER`, the launcher: starts, detects and resets the outside
/// radio programs, and lists and empties the outbox.
///
/// Each program has a start button that works once (it is disabled after
/// its program was started or found running, and stays so across reloads
/// through its state file) and a reset button that enables it again.
class Rodiruverezer : public QWidget
{
    Q_OBJECT
public:
    explicit Rodiruverezer(DeskContext &context);

    /// Empties the outbox: every file of the send directory goes to the
    /// system trash, or is deleted where there is none. Problems are
    /// reported to the operator; the files that can be removed still are.
    /// Returns how many went to the trash.
    int DeleteAllFiles();

private:
    void restoreButtonStates();
    void showOutbox();
    void refreshList();
    void startProgram(const LaunchedProgram &program);
    void resetProgram(const LaunchedProgram &program);
    void deleteSelectedFile();
    void deleteAll();
    void pressAltTab();
    void exitToMainMenu();
    void say(const char *phrase);
    void addWatchdogNotice(QGridLayout *layout, int row);
    void showWatchdogNotice(const QString &text);
    /// `pid` > 0: started; 0: opened through the desktop; < 0: found running.
    void watch(const LaunchedProgram &program, const QString &name, qint64 pid);
    void record(const QString &event);
    void recordDeletion(const QString &name, const Result<QString> &removal);

    QPushButton *button(const char *objectName) const;

    DeskContext &m_context;
    Outbox m_outbox;
    QListWidget *m_list = nullptr;
    QLabel *m_watchdogNotice = nullptr;
};
