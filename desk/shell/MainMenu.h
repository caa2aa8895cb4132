#pragma once

#include "Moduicontrol.h"

#include <QWidget>

struct DeskContext;
class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;

/// `mainmenu`: the hub from which every working screen opens and to which
/// each returns. Which buttons show depends on the screen that opened it.
class MainMenu : public QWidget, public AutoSaveDisplay
{
    Q_OBJECT
public:
    /// Who opens the main menu decides which buttons it hides.
    enum class Opener {
        Enter,          ///< "&ENTER" on the entry form: the restricted menu
        DirectorySetup, ///< "&Enter Program" on the directory setup
        Reenter,        ///< "&RE-ENTER" on the entry form: the full menu
        WorkingScreen,  ///< a working screen returning: the full menu
    };

    explicit MainMenu(DeskContext &context);

    /// Loads the main menu if needed, hides the opener's set and shows it.
    /// The full menu (re-enter, a working screen returning) also keeps the
    /// receive monitor running.
    static MainMenu *open(DeskContext &context, Opener opener);

    void displayAutoSave(bool on) override;

    /// The two lines of the arrival notice; empty texts hide it.
    void showArrivalNotice(const QString &first, const QString &second);

    /// The notice that a message has arrived.
    static void showArrivalNotice(MainMenu *menu);

    /// Turns the arrival notice's first line on or off; the received list's
    /// timer calls it so the notice blinks.
    void blinkArrivalNotice();

    void hideTestButton();

    /// The self-test message's fields, kept in hidden boxes of this screen.
    QString testField(const char *objectName) const;

private:
    void hideForOpener(Opener opener);
    void addUnreadNotice(QGridLayout *layout);
    void loadSoundState();
    void paintSoundControls(bool on);
    void soundAction(bool on);
    void toggleSound();
    void toggleAutoSave();
    void exitToEntry();
    void openLauncher();
    void openReceivedList();
    void runSelfTest();
    void openFileManager();
    void openStartMenu();
    void raisePacketProgram();
    void raisePortal();

    QPushButton *button(const char *objectName) const;

    DeskContext &m_context;
    QLabel *m_arrivalFirst = nullptr;
    QLabel *m_arrivalSecond = nullptr;
    QCheckBox *m_soundCheck = nullptr;
    QCheckBox *m_autoSaveCheck = nullptr;
    QLabel *m_unreadCount = nullptr;
    QPushButton *m_dismissAlert = nullptr;
};

/// The one way every working screen goes back to the main menu.
void returnToMainMenu(DeskContext &context);

/// Makes sure the receive monitor runs, on the stored receive folder, when
/// one is set: loads the received list hidden if it is not loaded (or was
/// loaded before the folder was set or changed).
void keepReceiveMonitorRunning(DeskContext &context);
