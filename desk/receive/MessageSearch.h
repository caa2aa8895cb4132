#pragma once

#include "compose/MailFields.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

/// Finds messages by any text of their four fields in the archive of saved
/// mail and in the receive folder.
///
/// Each file is read and decoded once (archive records as the reader shows
/// them, received mail through the code lists, attachment messages up to
/// their file name) and kept, with a case-folded copy of its text, for as
/// long as the file's size and times stay the same.
///
/// Every search looks at each folder's own time, which changes whenever a
/// file is added, deleted or renamed in it, and lists the folder again when
/// it did, reading new files and dropping gone ones; and it looks again at
/// the files written in the last hour, the ones that may still grow (the
/// archive file of the present minute, a message still arriving). Looking
/// at every file's size and times costs more than the search itself on a
/// large archive, so that full look is taken at the first search and then
/// at most once per `fullCheckInterval`: a file edited by hand long after
/// it was written is seen by then.
///
/// One object is used by one thread at a time; SearchCache runs one on a
/// worker thread and searches what it publishes.
class MessageSearch
{
public:
    enum class Place { Saved, Received };

    /// A file's size and times (nanoseconds since the epoch), by which a
    /// change is told.
    struct Stamp {
        qint64 size = -1;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const Stamp &) const = default;
    };

    /// One message of a file.
    struct Message {
        QString path;       ///< the file it stands in
        int index = 0;      ///< which message of that file, from 0
        Place place = Place::Saved;
        QDateTime date;     ///< when it was saved or received
        MailFields fields;  ///< decoded
    };

    /// The kept messages at one moment, newest first, each beside its four
    /// fields case-folded and joined by LF. Copies share their data, so one
    /// made on a worker thread can be searched on another.
    struct Catalogue {
        QList<Message> messages;
        QStringList folded;
        int files = 0; ///< how many files they came from
    };

    /// A file larger than this is not searched (its name is told instead):
    /// an archive or a mail file never grows this large in use.
    static constexpr qint64 fileLimit = 16 * 1024 * 1024;

    /// The folders to look in; an empty one is left out.
    void setFolders(const QString &savedFolder, const QString &receivedFolder);

    /// Brings the kept messages up to date with the folders, looking at
    /// every file.
    void refresh();

    /// Brings the kept messages up to date as a search does (every file at
    /// most once per interval). False when the progress callback stopped it
    /// halfway; the folders are then listed again at the next update.
    bool update();

    /// Called after each file read while a folder is listed; returning false
    /// stops the update there.
    void setProgress(std::function<bool()> carryOn) { m_carryOn = std::move(carryOn); }

    /// Counts up whenever the kept messages change.
    quint64 generation() const { return m_generation; }

    /// The kept messages as they stand, made again only after a change.
    Catalogue catalogue();

    /// Messages of `catalogue` holding `text` (see find()), in its order.
    static QList<Message> search(const Catalogue &catalogue, const QString &text);

    /// How long a search may go without looking at every file; 0: always.
    void setFullCheckInterval(qint64 milliseconds) { m_fullCheckInterval = milliseconds; }
    static constexpr qint64 defaultFullCheckInterval = 30 * 1000;
    /// How long a file counts as still being written.
    static constexpr qint64 settlingTime = 60 * 60 * 1000;

    /// Messages holding `text` in To, Subject, Message or From, letter case
    /// ignored, newest first. Nothing for an empty text. Brings the kept
    /// messages up to date first, as said above.
    QList<Message> find(const QString &text);

    /// Every kept message, in no particular order (refresh first).
    QList<Message> messages() const;

    /// Files that could not be read at the last refresh, each in words
    /// (native path and the system's reason), and folders that are missing.
    QStringList problems() const { return m_problems; }

    /// The messages of an archive file's text: its comma-separated records,
    /// quoted or not. A record written before fields were quoted that a line
    /// break in its message cut short runs on into the next lines until it
    /// has four fields; a record of more than four unquoted fields keeps the
    /// middle ones in its message, the last one being the sender.
    static QList<MailFields> archiveMessages(const QString &text);

    /// The messages of a received mail file's text, one per record line.
    static QList<MailFields> receivedMail(const QString &text);

    /// The date in an archive file's name ("mail_yy-MM-dd_HHmm.dat"), or an
    /// invalid one.
    static QDateTime archiveNameDate(const QString &fileName);

private:
    struct Kept {
        Stamp stamp;
        qint64 order = 0;   ///< the messages' date in milliseconds, for sorting
        QList<Message> messages;
        QStringList folded; ///< each message's four fields case-folded, joined by LF
    };

    struct Folder {
        QString path;
        Place place = Place::Saved;
        Stamp stamp;            ///< the folder's own, when it was last listed
        bool listed = false;
        QHash<QString, Kept> kept;
        QStringList problems;   ///< from the last listing
    };

    bool update(bool everyFile);
    bool updateFolder(Folder &folder, bool everyFile);
    bool recheck(Folder &folder, const QString &path, bool always, const Kept *kept);
    bool readFile(const QString &path, Place place, Kept &kept);

    Folder m_folders[2];
    QStringList m_problems;
    qint64 m_fullCheckInterval = defaultFullCheckInterval;
    QElapsedTimer m_sinceFullCheck;
    std::function<bool()> m_carryOn;
    quint64 m_generation = 0;
    Catalogue m_catalogue;
    quint64 m_catalogued = ~quint64(0);
};
