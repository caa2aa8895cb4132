#pragma once

#include "MessageSearch.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <functional>

class QThread;

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
