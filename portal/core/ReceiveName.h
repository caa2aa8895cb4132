#pragma once

#include <QString>

/// Checks a file name taken from a transfer header before anything is
/// written under it.
class ReceiveName
{
public:
    /// Why the name cannot be used inside the receive folder, in words;
    /// empty when it is a plain file name there.
    static QString refusal(const QString &name);

    /// Whether the content sent under this name is stored: its first four
    /// letters are "MAIL" or "FILE" in any case.
    static bool storesContent(const QString &name);
};
