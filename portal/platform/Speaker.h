#pragma once

#include <QString>

/// Speaks announcements without holding up the window; phrases keep their order.
class Speaker
{
public:
    virtual ~Speaker() = default;
    virtual void say(const QString &phrase) = 0;
};
