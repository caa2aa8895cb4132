#include "AddressBook.h"

#include "CsvRecords.h"
#include "Windows1252.h"
#include "receive/MessageSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Only the file's first part is read: the addressees kept never fill more.
constexpr qint64 sentFileReadLimit = 256 * 1024;
// A station list line longer than this is no "callsign - address" entry.
constexpr qint64 stationLineLimit = 1024;

const QRegularExpression &labelPattern()
{
    // "TO-", "To: ", "TO:", "FROM- ", "From:", and the bare word before a blank.
    static const QRegularExpression label(QStringLiteral("^\\s*(?:TO|FROM)(?:\\s*[:\\-]\\s*|\\s+|$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    return label;
}

const QRegularExpression &separators()
{
    static const QRegularExpression pattern(QStringLiteral("[\\s,;]+"));
    return pattern;
}

// A letter and a digit in its main part, and an SSID after a "-" if any.
bool isCallsign(const QString &word)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?=[A-Z0-9/]*[A-Z])(?=[A-Z0-9/]*[0-9])[A-Z0-9/]{3,}(?:-[A-Z0-9]{1,3})?$"));
    return word.size() <= AddressBook::callsignLimit && pattern.match(word).hasMatch();
}

// One word of a station list or of our own file.
bool isStationName(const QString &word)
{
    return !word.isEmpty() && word.size() <= AddressBook::callsignLimit && !word.contains(separators());
}

bool isAddress(const QString &text)
{
    static const QRegularExpression dottedQuad(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    static const QRegularExpression ipv6(QStringLiteral("^[0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*$"));
    return dottedQuad.match(text).hasMatch() || (text.count(u':') >= 2 && ipv6.match(text).hasMatch());
}

} // namespace

void AddressBook::note(const QString &callsign, const QDateTime &when)
{
    auto known = m_dated.find(callsign);
    if (known == m_dated.end())
        m_dated.insert(callsign, when);
    else if (when > *known)
        *known = when;
}

void AddressBook::noteUndated(const QString &callsign)
{
    if (!m_undated.contains(callsign))
        m_undated << callsign;
}

QStringList AddressBook::ranked() const
{
    QStringList dated = m_dated.keys();
    std::sort(dated.begin(), dated.end(), [this](const QString &a, const QString &b) {
        const QDateTime &whenA = m_dated[a];
        const QDateTime &whenB = m_dated[b];
        return whenA != whenB ? whenA > whenB : a < b;
    });
    QStringList all = dated;
    for (const QString &callsign : m_undated)
        if (!m_dated.contains(callsign))
            all << callsign;
    return all;
}

QStringList AddressBook::callsignsIn(const QString &field)
{
    QString text = field;
    text.remove(labelPattern());
    QStringList found;
    for (const QString &word : text.split(separators(), Qt::SkipEmptyParts)) {
        const QString callsign = word.toUpper();
        if (isCallsign(callsign) && !found.contains(callsign))
            found << callsign;
    }
    return found;
}

QStringList AddressBook::stationListCallsigns(QIODevice &file)
{
    QStringList found;
    while (!file.atEnd() && found.size() < sentLimit) {
        QByteArray line = file.readLine(stationLineLimit);
        if (!line.endsWith('\n') && !file.atEnd()) {
            // Too long for an entry: skip the rest of it.
            while (!file.atEnd() && !line.endsWith('\n'))
                line = file.readLine(stationLineLimit);
            continue;
        }
        const QStringList pieces = Windows1252::decode(line).trimmed().split(u'-');
        if (pieces.size() < 2)
            continue; // an address alone names no station
        // Callsigns carry their own "-" (SSIDs): the address is the first
        // piece that is one, and everything before it the callsign.
        qsizetype address = 1;
        while (address < pieces.size() && !isAddress(pieces[address].trimmed()))
            ++address;
        if (address == pieces.size())
            address = 1;
        const QString callsign = pieces.first(address).join(u'-').trimmed().toUpper();
        if (isStationName(callsign) && !found.contains(callsign))
            found << callsign;
    }
    return found;
}

QStringList AddressBook::stationListPlaces(const SettingFiles &files)
{
    const QString name = QStringLiteral("listitems.txt");
    QStringList places{QDir(files.programDirectory()).filePath(name)};
    if (QCoreApplication::instance())
        places << QDir(QCoreApplication::applicationDirPath()).filePath(name);
    places << QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                  + QStringLiteral("/tavrix/portal/bin/") + name;
    places.removeDuplicates();
    return places;
}

AddressBook AddressBook::gather(const SettingFiles &files, const QStringList &stationLists)
{
    AddressBook book = gatherLists(files, stationLists);
    MessageSearch mail;
    mail.setFolders(files.readLine(Setting::SaveDir).value_or(QString()),
                    files.readLine(Setting::ReceiveDir).value_or(QString()));
    mail.refresh();
    book.noteSenders(mail.messages());
    return book;
}

AddressBook AddressBook::gatherLists(const SettingFiles &files, const QStringList &stationLists)
{
    AddressBook book;
    const QHash<QString, QDateTime> sent = readSent(files);
    for (auto it = sent.cbegin(); it != sent.cend(); ++it)
        book.note(it.key(), it.value());

    for (const QString &place : stationLists) {
        QFile list(place);
        if (!list.open(QIODevice::ReadOnly))
            continue;
        for (const QString &callsign : stationListCallsigns(list))
            book.noteUndated(callsign);
        break;
    }
    return book;
}

void AddressBook::noteSenders(const QList<MessageSearch::Message> &messages)
{
    QHash<QString, QStringList> parsed;
    noteAll(senders(messages, parsed));
}

void AddressBook::noteAll(const QHash<QString, QDateTime> &dated)
{
    for (auto it = dated.cbegin(); it != dated.cend(); ++it)
        note(it.key(), it.value());
}

QHash<QString, QDateTime> AddressBook::senders(const QList<MessageSearch::Message> &messages,
                                               QHash<QString, QStringList> &parsed)
{
    // Taking a From text apart costs far more than looking it up, and a
    // large archive holds few stations in many messages.
    QHash<QString, QStringList> kept;
    QHash<QString, QDateTime> latest;
    for (const MessageSearch::Message &message : messages) {
        auto callsigns = kept.find(message.fields.from);
        if (callsigns == kept.end()) {
            const auto earlier = parsed.constFind(message.fields.from);
            callsigns = kept.insert(message.fields.from,
                                    earlier != parsed.cend() ? *earlier : callsignsIn(message.fields.from));
        }
        for (const QString &callsign : *callsigns) {
            auto known = latest.find(callsign);
            if (known == latest.end())
                latest.insert(callsign, message.date);
            else if (message.date > *known)
                *known = message.date;
        }
    }
    parsed = std::move(kept);
    return latest;
}

QHash<QString, QDateTime> AddressBook::readSent(const SettingFiles &files)
{
    QHash<QString, QDateTime> sent;
    QFile file(files.path(sentFile));
    if (!file.open(QIODevice::ReadOnly))
        return sent;
    const QString text = QString::fromUtf8(file.read(sentFileReadLimit));
    CsvRecords::Reader reader(text);
    while (!reader.atEnd() && sent.size() < sentLimit) {
        const QStringList record = reader.next();
        if (record.size() < 2)
            continue;
        const QString callsign = record[0].trimmed().toUpper();
        const QDateTime when = QDateTime::fromString(record[1].trimmed(), Qt::ISODate);
        if (!isStationName(callsign) || !when.isValid())
            continue;
        if (!sent.contains(callsign) || sent[callsign] < when)
            sent.insert(callsign, when);
    }
    return sent;
}

Outcome AddressBook::recordSent(const SettingFiles &files, const QString &toField, const QDateTime &when)
{
    const QStringList used = callsignsIn(toField);
    if (used.isEmpty())
        return {};
    QHash<QString, QDateTime> sent = readSent(files);
    for (const QString &callsign : used)
        sent.insert(callsign, when.toUTC());
    QStringList order = sent.keys();
    std::sort(order.begin(), order.end(), [&sent](const QString &a, const QString &b) {
        return sent[a] != sent[b] ? sent[a] > sent[b] : a < b;
    });
    if (order.size() > sentLimit)
        order.resize(sentLimit);
    QString text;
    for (const QString &callsign : order)
        text += CsvRecords::line({callsign, sent[callsign].toUTC().toString(Qt::ISODate)});
    return files.writeBytes(sentFile, text.toUtf8());
}

AddressBook::TypedWord AddressBook::typedWord(const QString &text)
{
    qsizetype start = text.size();
    while (start > 0 && !text[start - 1].isSpace() && text[start - 1] != u',' && text[start - 1] != u';')
        --start;
    if (start == 0) {
        // The box's own label, typed over without a blank: "TO-N0".
        static const QRegularExpression label(QStringLiteral("^(?:TO|FROM)\\s*[:\\-]"),
                                              QRegularExpression::CaseInsensitiveOption);
        if (const QRegularExpressionMatch match = label.match(text); match.hasMatch())
            start = match.capturedEnd();
    }
    return {start, text.mid(start)};
}
