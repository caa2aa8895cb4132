#pragma once

#include <QLocalServer>

class Navigator;

/// Lets the portal bring the desk forward: whoever connects to the local
/// socket named after the application title makes the screen the operator
/// last saw come to the front.
class RaiseListener : public QObject
{
    Q_OBJECT
public:
    RaiseListener(Navigator &navigator, const QString &applicationTitle, QObject *parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    QString errorString() const { return m_server.errorString(); }

private:
    void raiseFrontScreen();

    Navigator &m_navigator;
    QLocalServer m_server;
};
