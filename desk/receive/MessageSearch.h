#pragma once

#include "compose/MailFields.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <functional>

class QIODevice;
class QThread;

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

/// The search of saved and received mail for the program's life.
///
/// A worker thread reads the folders once, as soon as they are set, and then
/// keeps the messages up to date when asked, looking only at sizes and times
/// as MessageSearch does. A search runs on the caller's thread over what the
/// worker last published and never waits for it: while the folders are still
/// being read it answers from the files read so far, and updated() says when
/// there is more to see.
class SearchCache : public QObject
{
    Q_OBJECT
public:
    explicit SearchCache(QObject *parent = nullptr);
    /// Stops the worker, waiting for the file it is reading.
    ~SearchCache() override;

    /// The folders to keep. Setting other folders starts reading them at once;
    /// the same ones again change nothing.
    void setFolders(const QString &savedFolder, const QString &receivedFolder);

    /// Asks the worker to look for changes, as a search of MessageSearch does.
    void refresh();

    /// How long the worker may go without looking at every file.
    void setFullCheckInterval(qint64 milliseconds);

    /// How often, while the folders are read, what is read so far is
    /// published; 0: after every file.
    void setPublishInterval(qint64 milliseconds);
    static constexpr qint64 defaultPublishInterval = 100;

    /// Called on the worker thread after each file read while a folder is
    /// listed (and after publishing), so a test can hold the reading at a
    /// known point. Set it before the folders.
    void setAfterEachFile(std::function<void()> hook);

    /// Messages holding `text` among those published, newest first.
    QList<MessageSearch::Message> find(const QString &text) const;

    /// The messages published, newest first; a copy that shares their data.
    MessageSearch::Catalogue catalogue() const;

    /// Each callsign of the published messages' From boxes with the newest
    /// date it bears (AddressBook::senders), worked out on the worker.
    QHash<QString, QDateTime> senders() const;

    /// True once every file of the folders set has been read; until then
    /// find() answers from part of them.
    bool isReady() const;

    /// How many files the published messages came from.
    int filesRead() const;

    /// As MessageSearch::problems(), at the last publishing.
    QStringList problems() const;

signals:
    /// More or other messages are published, or the reading is finished:
    /// a search shown should be made again.
    void updated();

private:
    void work();
    void publish(MessageSearch &search, bool ready);

    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    // Asked of the worker.
    QString m_saved, m_received;
    bool m_foldersSet = false;
    bool m_newFolders = false;
    bool m_refreshWanted = false;
    bool m_quit = false;
    qint64 m_fullCheckInterval = MessageSearch::defaultFullCheckInterval;
    qint64 m_publishInterval = defaultPublishInterval;
    std::function<void()> m_afterEachFile;
    // Published by the worker.
    MessageSearch::Catalogue m_published;
    quint64 m_publishedGeneration = ~quint64(0);
    QStringList m_problems;
    bool m_ready = false;
    QHash<QString, QDateTime> m_senders;
    // The worker's own.
    QHash<QString, QStringList> m_parsedFroms;

    QThread *m_thread = nullptr;
};
