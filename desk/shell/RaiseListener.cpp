#include "RaiseListener.h"

#include "Navigator.h"

#include <QLocalSocket>

RaiseListener::RaiseListener(Navigator &navigator, const QString &applicationTitle, QObject *parent)
    : QObject(parent)
    , m_navigator(navigator)
{
    // A socket left behind by a desk that crashed would block the name.
    QLocalServer::removeServer(applicationTitle);
    m_server.listen(applicationTitle);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            client->disconnectFromServer();
        }
        raiseFrontScreen();
    });
}

void RaiseListener::raiseFrontScreen()
{
    QWidget *screen = m_navigator.frontScreen();
    if (!screen)
        return;
    screen->showNormal();
    screen->raise();
    screen->activateWindow();
}
