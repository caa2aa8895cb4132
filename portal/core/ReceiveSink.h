#pragma once

#include "PortalOutcome.h"

#include <QByteArray>
#include <QString>

/// Where the content of one received transfer goes. The receive state
/// machine decides what is content; the sink decides how it is stored.
/// At most one receive is open at a time.
class ReceiveSink
{
public:
    virtual ~ReceiveSink() = default;
    /// Starts a receive under the name (already checked by the caller).
    virtual PortalOutcome open(const QString &name) = 0;
    /// Adds content to the open receive.
    virtual PortalOutcome append(const QByteArray &bytes) = 0;
    /// The receive arrived whole: it is stored under its name. On failure
    /// nothing of it is kept and no older file of the name is harmed.
    virtual PortalOutcome commit() = 0;
    /// The receive did not arrive whole: nothing of it is kept.
    virtual void discard() = 0;
};
