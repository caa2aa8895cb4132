// The saved-messages search's reading of one archive file: messages the
// desk saves read back the same, from the text and from a file in the save
// folder, dated by the file's name; any text reads without trouble into no
// more messages than it has records; where a record has just the four fields
// the search and the save module's own reader agree on it.
#include "FuzzInput.h"

#include "compose/CsvRecords.h"
#include "receive/MessageSearch.h"
#include "shell/Modsavemodule.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QStringList fieldsOf(const MailFields &mail)
{
    return {mail.to, mail.subject, mail.message, mail.from};
}

bool same(const QList<MailFields> &found, const QList<QStringList> &expected)
{
    if (found.size() != expected.size())
        return false;
    for (qsizetype i = 0; i < found.size(); ++i)
        if (fieldsOf(found[i]) != expected[i])
            return false;
    return true;
}

/// Messages as the desk saves them, one record after another.
void savedMessages(FuzzInput &input, const QString &folder)
{
    const quint8 how = input.byte();
    int parts[6];
    for (int &part : parts)
        part = input.byte();
    const QDateTime when(QDate(2000 + parts[0] % 100, 1 + parts[1] % 12, 1 + parts[2] % 28),
                         QTime(parts[3] % 24, parts[4] % 60, parts[5] % 60));
    QList<QStringList> saved;
    QByteArray archive;
    while (!input.atEnd() && saved.size() < 8) {
        QStringList fields;
        for (int i = 0; i < 4; ++i)
            fields << QString::fromUtf8(input.piece());
        saved << fields;
        if (how & 1)
            archive += "\r\n"; // blank lines between saves
        archive += Modsavemodule::archiveRecord({fields[0], fields[1], fields[2], fields[3]});
    }
    FUZZ_CHECK(same(MessageSearch::archiveMessages(QString::fromUtf8(archive)), saved), "saved messages read back the same");
    if (!saved.isEmpty())
        FUZZ_CHECK(Modsavemodule::savedMessagePieces(archive) == saved.first(), "the first message as the save module reads it");

    // The same through the search, from a file in the save folder.
    const QString name = Modsavemodule::archiveFileName(when);
    FUZZ_CHECK(MessageSearch::archiveNameDate(name) == QDateTime(when.date(), QTime(when.time().hour(), when.time().minute())),
               "the archive's name tells its minute");
    QFile file(QDir(folder).filePath(name));
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(archive) == archive.size(), "the archive file is written");
    file.close();
    MessageSearch search;
    search.setFolders(folder, QString());
    search.refresh();
    const QList<MessageSearch::Message> messages = search.messages();
    FUZZ_CHECK(search.problems().isEmpty(), "the archive file is read");
    QList<MailFields> found(messages.size());
    for (const MessageSearch::Message &message : messages) {
        FUZZ_CHECK(message.path == file.fileName() && message.place == MessageSearch::Place::Saved, "the file it stands in");
        FUZZ_CHECK(message.date == MessageSearch::archiveNameDate(name), "dated by the file's name");
        FUZZ_CHECK(message.index >= 0 && message.index < messages.size(), "each message numbered in its file");
        found[message.index] = message.fields;
    }
    FUZZ_CHECK(same(found, saved), "the search finds every saved message the same");
    FUZZ_CHECK(file.remove(), "the archive file is removed");
}

/// Any text as an archive file or a received mail file.
void anyText(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    const QList<MailFields> found = MessageSearch::archiveMessages(text);
    CsvRecords::Reader reader(text);
    QList<QStringList> records;
    while (!reader.atEnd())
        records << reader.next();
    FUZZ_CHECK(found.size() <= records.size(), "no more messages than records");
    qsizetype characters = 0;
    for (const MailFields &mail : found)
        characters += mail.to.size() + mail.subject.size() + mail.message.size() + mail.from.size();
    // A record that runs on into the next lines gains a line end per line.
    FUZZ_CHECK(characters <= 2 * text.size(), "a message holds only the text's characters");

    // Where the first record has just the four fields, both readers take it as it stands.
    qsizetype first = 0;
    while (first < records.size() && records[first] == QStringList{QString()})
        ++first;
    if (first < records.size() && records[first].size() == 4) {
        FUZZ_CHECK(!found.isEmpty() && fieldsOf(found.first()) == records[first], "a whole record is one message");
        FUZZ_CHECK(Modsavemodule::savedMessagePieces(bytes) == records[first], "the save module reads it the same");
    }

    const QList<MailFields> mail = MessageSearch::receivedMail(text);
    FUZZ_CHECK(mail.size() <= text.count(u'\n') + 1, "at most one received message a line");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    FUZZ_CHECK(scratch.isValid(), "a scratch folder");
    FuzzInput input(data, size);
    if (input.byte() & 1)
        savedMessages(input, scratch.path());
    else
        anyText(input.rest());
    return 0;
}
