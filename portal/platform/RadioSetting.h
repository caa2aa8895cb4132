#pragma once

#include "PortalOutcome.h"

#include <QString>

/// Which link the portal sends on and where the radio modem program's AGW
/// port is: a small text file of "name=value" lines beside the portal's
/// other setting files ("link=ip" or "link=radio", "agwhost=", "agwport=").
/// A missing file or line means the IP link and 127.0.0.1 port 8000.
class RadioSetting
{
public:
    static QString fileName() { return QStringLiteral("radiomodem.ini"); }
    /// A longer file is not a setting file of ours; only its start is read.
    static constexpr qint64 readLimit = 16 * 1024;

    struct Choice
    {
        bool radio = false;
        QString host = QStringLiteral("127.0.0.1");
        quint16 port = 8000;
    };

    explicit RadioSetting(QString path);
    QString path() const { return m_path; }

    /// A usable choice always, and what was wrong with the file when
    /// something was: a line that cannot be read keeps its default.
    struct Loaded
    {
        Choice choice;
        QString problem; ///< empty when the file was read whole (or is absent)
    };

    /// The stored choice.
    Loaded load() const;
    /// Stores the link choice, keeping the host and port as they are; the
    /// file is replaced whole or not at all.
    PortalOutcome storeRadio(bool radio) const;

private:
    QString m_path;
};
