#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

/// What counts as a received message in the receive folder, for the monitor
/// that announces arrivals and the list that shows them alike: the regular
/// files directly in the folder (a symbolic link to one counts), hidden ones
/// included. Folders, FIFOs, sockets and devices are not messages.
///
/// A name that is not valid UTF-8 (a program that writes its own code page)
/// is read as the desk's code page, so it is seen under the name the
/// operator would read. The desk can open a file only under a name it can
/// spell, so the list renames such a file to that reading, without ever
/// replacing another file.
namespace ReceiveFolderEntries {

enum class Names {
    AsFound,      ///< only look; nothing in the folder changes
    MadeOpenable, ///< rename each file whose name is not UTF-8 to its reading
};

struct Listing {
    /// The names of the messages, in the order the folder lists them.
    QStringList names;
    /// "<old reading> → <new name>" for each file renamed by this listing.
    QStringList renamed;
    /// (key before, name now) for each file renamed by this listing, as
    /// `compare` gives them.
    QList<std::pair<QString, QString>> renames;
    /// A sentence for each message whose name could not be made openable;
    /// such a message is not among `names`.
    QStringList problems;
};

/// The messages in `folder`. A folder that is missing or cannot be read
/// holds none.
Listing list(const QString &folder, Names names = Names::AsFound);

/// The name as the desk reads it: UTF-8 when the bytes are that, else the
/// desk's code page.
QString readName(QByteArrayView raw);

/// True when `raw` is valid UTF-8, so the desk can open the file by its name.
bool isOpenableName(QByteArrayView raw);

/// One look at the folder for telling arrivals apart: each message's key
/// with the identity of its file. A name that is UTF-8 is its own key; any
/// other name has a key no spellable name has, so a file under such a name
/// is never mistaken for one whose name reads the same.
using Snapshot = QHash<QString, quint64>;

/// The messages in `folder` as keys, without changing anything. A folder
/// that is missing or cannot be read holds none.
Snapshot snapshot(const QString &folder);

/// What changed between two looks at one folder.
struct Changes {
    /// Keys that are new: messages that arrived.
    QStringList arrived;
    /// (earlier key, name now) for each file the desk renamed to make it
    /// openable: the same message under a new name, no arrival.
    QList<std::pair<QString, QString>> renamed;
};
Changes compare(const Snapshot &before, const Snapshot &now);

/// The name the operator reads for a key.
QString nameOf(const QString &key);

/// The size of the file a key stands for in `folder`, -1 when it cannot be
/// looked at.
qint64 sizeOf(const QString &folder, const QString &key);

/// Empty when `path` is a folder or nothing is there; otherwise what lies
/// there, as "<native path> is a file, not a folder" (or a FIFO, a socket ...).
QString notAFolder(const QString &path);

} // namespace ReceiveFolderEntries
