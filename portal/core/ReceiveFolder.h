#pragma once

#include "ReceiveSink.h"

#include <QFile>
#include <QString>

/// The receive folder as a sink. A receive file is written in a hidden
/// ".incoming" folder inside the receive folder and moved over its final
/// name only on commit, so readers of the folder never see half a file and
/// an older file of that name is replaced whole. Discard removes the part.
class ReceiveFolder : public ReceiveSink
{
public:
    explicit ReceiveFolder(QString folder);
    /// An open receive that was never committed is not a whole message.
    ~ReceiveFolder() override;

    ReceiveFolder(const ReceiveFolder &) = delete;
    ReceiveFolder &operator=(const ReceiveFolder &) = delete;

    /// Refuses a name that is no plain file name inside the folder, creating nothing.
    PortalOutcome open(const QString &name) override;
    PortalOutcome append(const QByteArray &bytes) override;
    PortalOutcome commit() override;
    void discard() override;

    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_folder; }
    /// Where a receive file of this name is written while it arrives.
    QString partialPath(const QString &name) const;

    /// What a sweep of leftover part files did: how many went, and the first
    /// part that could not be removed (the others were still tried).
    struct Sweep
    {
        int removed = 0;
        PortalOutcome outcome;
    };

    /// Removes part files that an earlier run left behind (a crash, a kill).
    Sweep removeLeftovers() const;

private:
    QString m_folder;
    QString m_name;
    QFile m_file;
};
