#pragma once

#include "PortalOutcome.h"
#include "TransferLog.h"

/// Where the record of every transfer is kept between runs.
class TransferLogStore
{
public:
    virtual ~TransferLogStore() = default;
    /// Adds one record at the end; on failure the log keeps what it had.
    virtual PortalOutcome append(const TransferRecord &record) = 0;
    /// The newest `count` records, oldest first; a log that cannot be read
    /// answers with the failure and no records.
    virtual PortalOutcome readLast(int count, TransferLog::Tail *tail) = 0;
};
