#pragma once

#include "Outcome.h"

#include <QLocalServer>

class Navigator;

/// Lets the portal bring the desk forward. The desk listens on a local
/// socket that belongs to its user and its display only; a client that
/// sends the raise request makes the screen the operator last saw come to
/// the front and is answered, so the portal knows it reached the desk.
class RaiseListener : public QObject
{
    Q_OBJECT
public:
    RaiseListener(Navigator &navigator, const QString &applicationTitle, QObject *parent = nullptr);

    /// Success while the desk listens; else why it does not.
    Outcome listening() const
    {
        return m_server.isListening() ? Outcome() : Outcome::failure(m_error);
    }

    /// The socket's path for this user and display: the application title
    /// and the display in the user's runtime folder, or in a folder of the
    /// user's own in the temporary folder when there is no private runtime
    /// folder. Creates that folder when asked. A failure says why no folder
    /// reachable by this user alone is found.
    static Result<QString> socketPath(const QString &applicationTitle, bool createFolder);

    /// What the portal sends and what the desk answers once its screen is up.
    static constexpr char request[] = "TAVRIX RAISE\n";
    static constexpr char answer[] = "TAVRIX RAISED\n";

private:
    bool takeOver(const QString &path);
    void serve(class QLocalSocket *client);
    bool raiseFrontScreen();

    Navigator &m_navigator;
    QLocalServer m_server;
    QString m_error;
};
