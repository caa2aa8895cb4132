#include "ReceiveMachine.h"

#include "AnsiText.h"
#include "ReceiveName.h"

#include <QDir>

#include <filesystem>
#include <system_error>

namespace {

const QString incomingFolder = QStringLiteral(".incoming");

bool isHeader(const QByteArray &line)
{
    const QByteArray prefix = line.left(5).toUpper();
    return prefix == "FILE:" || prefix == "MAIL:";
}

} // namespace

ReceiveMachine::ReceiveMachine(const QString &receiveFolder, qsizetype lineLimit)
    : m_folder(receiveFolder)
    , m_lineLimit(lineLimit)
{
}

ReceiveMachine::~ReceiveMachine()
{
    // The program ends mid-transfer: what arrived is not a whole message.
    discardFile();
}

QString ReceiveMachine::partialPath(const QString &name) const
{
    return QDir(m_folder).filePath(incomingFolder + u'/' + name);
}

QList<ReceiveMachine::Event> ReceiveMachine::feed(const QByteArray &bytes, bool chatModeActive)
{
    QList<Event> events;
    m_buffer.append(bytes);

    if (!m_file.isOpen()) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end >= 0 && isHeader(m_buffer.left(end))) {
            const QString name = AnsiText::decode(m_buffer.mid(5, end - 5));
            m_buffer.remove(0, end + 2);
            if (!openFile(name, events))
                return events;
        }
    }

    if (m_file.isOpen()) {
        if (!m_buffer.isEmpty() && !writeContent(events))
            return events;
    } else if (chatModeActive) {
        dispatchLines(events);
    }

    // Whatever waits for a line end is bounded, so no peer can make the buffer grow without end.
    if (!m_file.isOpen() && m_buffer.size() > m_lineLimit) {
        m_buffer.clear();
        events.append({Kind::Overflow, {}, {}});
    }
    return events;
}

bool ReceiveMachine::openFile(const QString &name, QList<Event> &events)
{
    // A refused name creates, opens and changes nothing, not even an existing file of that name.
    const QString refusal = ReceiveName::keepRefusal(name);
    if (!refusal.isEmpty()) {
        m_buffer.clear();
        events.append({Kind::NameRefused, name, refusal});
        return false;
    }
    const QString partial = partialPath(name);
    if (!QDir().mkpath(QFileInfo(partial).absolutePath())) {
        m_buffer.clear();
        events.append({Kind::WriteFailed, name,
                       QStringLiteral("the folder %1 cannot be created")
                           .arg(QDir::toNativeSeparators(QFileInfo(partial).absolutePath()))});
        return false;
    }
    m_file.setFileName(partial);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_buffer.clear();
        events.append({Kind::WriteFailed, name,
                       QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(partial), m_file.errorString())});
        return false;
    }
    m_name = name;
    m_written = 0;
    m_tail.clear();
    events.append({Kind::FileOpened, name, {}});
    return true;
}

bool ReceiveMachine::writeContent(QList<Event> &events)
{
    if (m_file.write(m_buffer) != m_buffer.size()) {
        const Event failed{Kind::WriteFailed, m_name,
                           QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString())};
        m_buffer.clear();
        discardFile();
        events.append(failed);
        return false;
    }
    m_written += m_buffer.size();
    m_tail = (m_tail + m_buffer.right(2)).right(2);
    m_buffer.clear();
    return true;
}

void ReceiveMachine::dispatchLines(QList<Event> &events)
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end < 0)
            return;
        const QString line = AnsiText::decode(m_buffer.left(end));
        m_buffer.remove(0, end + 2);
        const QString upper = line.toUpper();
        if (upper == u"CHAT_END" || upper == u"<ENDCHAT>") {
            reset();
            events.append({Kind::EndChat, {}, {}});
            return;
        }
        if (upper == u"<RESET>") {
            reset();
            events.append({Kind::Reset, {}, {}});
            return;
        }
        const QString text = upper.startsWith(u"CHAT:") ? line.mid(5) : line;
        if (!text.isEmpty())
            events.append({Kind::ChatText, text, {}});
    }
}

QString ReceiveMachine::finishFile()
{
    if (!m_file.isOpen())
        return {};
    const QString partial = m_file.fileName();
    const bool flushed = m_file.flush();
    const QString flushError = m_file.errorString();
    m_file.close();
    const QString target = QDir(m_folder).filePath(m_name);
    m_name.clear();
    if (!flushed) {
        QFile::remove(partial);
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(partial), flushError);
    }
    // rename() replaces an existing file in one step; no tail of an older file survives.
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdU16String()),
                            std::filesystem::path(target.toStdU16String()), error);
    if (error) {
        return QStringLiteral("%1 cannot be moved to %2: %3")
            .arg(QDir::toNativeSeparators(partial), QDir::toNativeSeparators(target),
                 QString::fromStdString(error.message()));
    }
    return {};
}

void ReceiveMachine::discardFile()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    QFile::remove(m_file.fileName());
    m_name.clear();
}

void ReceiveMachine::reset()
{
    m_buffer.clear();
    discardFile();
    m_name.clear();
}

int ReceiveMachine::removeLeftovers(QString *failure) const
{
    const QDir parts(QDir(m_folder).filePath(incomingFolder));
    int removed = 0;
    const QStringList names = parts.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        QFile part(parts.filePath(name));
        if (part.remove())
            ++removed;
        else if (failure && failure->isEmpty())
            *failure = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(part.fileName()), part.errorString());
    }
    return removed;
}
