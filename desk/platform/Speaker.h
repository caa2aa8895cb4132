#pragma once

#include <QString>

/// Spoken announcements. Phrases are spoken in the order given and never
/// block the window for long.
class Speaker
{
public:
    virtual ~Speaker() = default;

    /// Queues a phrase and returns at once.
    virtual void speak(const QString &phrase) = 0;

    /// Speaks a phrase and waits until it has been heard, at most a few
    /// seconds; for the last words before the program ends.
    virtual void speakAndWait(const QString &phrase) = 0;
};
