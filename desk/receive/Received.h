#pragma once

#include <QHash>
#include <QWidget>

#include <optional>
#include <utility>

#include "FileMonitorEvent.h"
#include "FileMonitors.h"

struct DeskContext;
class QFile;
class QListWidget;
class QTimer;

/// `received`: the received-files list. It routes a picked message to the
/// inbox reader or the attachment receiver, and hosts the timers of the
/// receive-folder monitor and of the main menu's blinking arrival notice,
/// so the monitor runs exactly as long as this screen is loaded. A message
/// leaves the receive folder only once the screen it was routed to has it;
/// deleting one moves it to the trash.
class Received : public QWidget
{
    Q_OBJECT
public:
    explicit Received(DeskContext &context);

    /// Deletes a received file. When it cannot be deleted the operator is
    /// asked whether to try again; false when the file is left in place.
    bool KillFile(const QString &path);

    /// Lists the receive folder afresh.
    void refreshList();
    /// Lists it afresh when what is shown is no longer what is there.
    void followFolder();

    FileMonitors &monitor() { return m_monitor; }

    /// An arrival announced while the main menu was closed; the main menu
    /// shows it when it opens next.
    bool takePendingArrival() { return std::exchange(m_arrivalPending, false); }
    void setPendingArrival() { m_arrivalPending = true; }

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void StartReceiveMonitor();
    void deleteMessage();
    void readMessage();
    void exitToMainMenu();
    void blinkArrivalNotice();
    void reportStep(int code, const QString &description);
    void clearHandOverFiles();
    bool openMailReader();
    bool openAttachmentReceiver();
    void keepMessage(const QString &path, const QString &why);

    DeskContext &m_context;
    QListWidget *m_list = nullptr;
    QTimer *m_scanTimer = nullptr;
    QTimer *m_blinkTimer = nullptr;
    QString m_listPath;
    FileMonitors m_monitor;
    FileMonitorEvent m_monitorEvents;
    bool m_arrivalPending = false;
    QHash<QString, bool> m_toldProblems; ///< names that cannot be opened, said once each
};
