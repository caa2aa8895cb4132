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

    /// Why a transfer under this name is refused as a whole: an unsafe name,
    /// or one whose content the receiver does not keep. Empty when it is kept.
    static QString keepRefusal(const QString &name);

    /// The control characters in the name, named ("CR, LF"); empty when it has none.
    static QString controlCharacters(const QString &name);

    /// Whether the content sent under this name is stored: its first four
    /// letters are "MAIL" or "FILE" in any case.
    static bool storesContent(const QString &name);
};
