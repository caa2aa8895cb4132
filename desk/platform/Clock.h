#pragma once

#include <QDateTime>

/// The local time used in file names.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};
