#include "SearchCache.h"

#include "compose/AddressBook.h"

#include <QMutexLocker>
#include <QThread>

#include <utility>

SearchCache::SearchCache(QObject *parent)
    : QObject(parent)
{
    m_thread = QThread::create([this] { work(); });
    m_thread->setObjectName(QStringLiteral("message search"));
    m_thread->start();
}

SearchCache::~SearchCache()
{
    {
        const QMutexLocker locker(&m_mutex);
        m_quit = true;
    }
    m_wake.wakeAll();
    m_thread->wait();
    delete m_thread;
}

void SearchCache::setFolders(const QString &savedFolder, const QString &receivedFolder)
{
    const QMutexLocker locker(&m_mutex);
    if (m_foldersSet && m_saved == savedFolder && m_received == receivedFolder)
        return;
    m_saved = savedFolder;
    m_received = receivedFolder;
    m_foldersSet = true;
    m_newFolders = true;
    // Nothing of other folders is shown while these are read.
    m_published = {};
    m_senders.clear();
    m_publishedGeneration = ~quint64(0);
    m_problems.clear();
    m_ready = false;
    m_wake.wakeAll();
}

void SearchCache::refresh()
{
    const QMutexLocker locker(&m_mutex);
    if (!m_foldersSet)
        return;
    m_refreshWanted = true;
    m_wake.wakeAll();
}

void SearchCache::setFullCheckInterval(qint64 milliseconds)
{
    const QMutexLocker locker(&m_mutex);
    m_fullCheckInterval = milliseconds;
}

void SearchCache::setPublishInterval(qint64 milliseconds)
{
    const QMutexLocker locker(&m_mutex);
    m_publishInterval = milliseconds;
}

void SearchCache::setAfterEachFile(std::function<void()> hook)
{
    const QMutexLocker locker(&m_mutex);
    m_afterEachFile = std::move(hook);
}

QList<MessageSearch::Message> SearchCache::find(const QString &text) const
{
    MessageSearch::Catalogue published;
    {
        const QMutexLocker locker(&m_mutex);
        published = m_published;
    }
    return MessageSearch::search(published, text);
}

MessageSearch::Catalogue SearchCache::catalogue() const
{
    const QMutexLocker locker(&m_mutex);
    return m_published;
}

QHash<QString, QDateTime> SearchCache::senders() const
{
    const QMutexLocker locker(&m_mutex);
    return m_senders;
}

bool SearchCache::isReady() const
{
    const QMutexLocker locker(&m_mutex);
    return m_ready;
}

int SearchCache::filesRead() const
{
    const QMutexLocker locker(&m_mutex);
    return m_published.files;
}

QStringList SearchCache::problems() const
{
    const QMutexLocker locker(&m_mutex);
    return m_problems;
}

void SearchCache::work()
{
    MessageSearch search;
    // While the folders are read, what is read so far is published a few
    // times a second: often enough to see it come, seldom enough that
    // sorting it costs little.
    QElapsedTimer sincePublished;
    bool filling = false; // the folders set have not been read through yet
    qint64 publishInterval = defaultPublishInterval;
    std::function<void()> afterEachFile;
    search.setProgress([&] {
        if (filling && sincePublished.elapsed() >= publishInterval) {
            publish(search, false);
            sincePublished.start();
        }
        if (afterEachFile)
            afterEachFile();
        const QMutexLocker locker(&m_mutex);
        return !m_quit && !m_newFolders;
    });
    for (;;) {
        QString saved, received;
        bool newFolders = false;
        qint64 interval = 0;
        {
            QMutexLocker locker(&m_mutex);
            while (!m_quit && !m_newFolders && !m_refreshWanted)
                m_wake.wait(&m_mutex);
            if (m_quit)
                return;
            newFolders = std::exchange(m_newFolders, false);
            m_refreshWanted = false;
            saved = m_saved;
            received = m_received;
            interval = m_fullCheckInterval;
            publishInterval = m_publishInterval;
            afterEachFile = m_afterEachFile;
        }
        if (newFolders) {
            search.setFolders(saved, received);
            filling = true;
            publish(search, false);
            sincePublished.start();
        }
        search.setFullCheckInterval(interval);
        if (search.update()) {
            filling = false;
            publish(search, true);
        }
    }
}

void SearchCache::publish(MessageSearch &search, bool ready)
{
    const MessageSearch::Catalogue catalogue = search.catalogue();
    const quint64 generation = search.generation();
    const QStringList problems = ready ? search.problems() : QStringList();
    {
        const QMutexLocker locker(&m_mutex);
        // Other folders were asked for meanwhile: this is of the old ones.
        if (m_newFolders)
            return;
        if (generation == m_publishedGeneration && ready == m_ready && (!ready || problems == m_problems))
            return;
    }
    // Outside the lock: a search never waits for this.
    QHash<QString, QDateTime> senders = AddressBook::senders(catalogue.messages, m_parsedFroms);
    {
        const QMutexLocker locker(&m_mutex);
        if (m_newFolders)
            return;
        m_published = catalogue;
        m_senders = std::move(senders);
        m_publishedGeneration = generation;
        m_ready = ready;
        if (ready)
            m_problems = problems;
    }
    emit updated();
}
