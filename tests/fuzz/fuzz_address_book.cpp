// The desk's address book: its own file of addressees and the portal's
// station list, read from any bytes, give distinct upper-case station names
// of bounded length and number, read the same however the file hands them
// out, and never look past their read limits; addressees it writes read
// back in the order of their use, the station list's stations after them.
#include "FuzzInput.h"

#include "compose/AddressBook.h"
#include "compose/Windows1252.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// A station list entry ("callsign - address") is a short line; a longer one
// is no entry, and the addressee file is only read this far.
constexpr qsizetype stationLineBytes = 1024;
constexpr qsizetype sentFileReadBytes = 256 * 1024;

void checkNames(const QStringList &names)
{
    static const QRegularExpression separator(QStringLiteral("[\\s,;]"));
    FUZZ_CHECK(names.size() <= AddressBook::sentLimit + AddressBook::sentLimit, "a bounded number of stations");
    for (const QString &name : names) {
        FUZZ_CHECK(!name.isEmpty() && name.size() <= AddressBook::callsignLimit, "a name of bounded length");
        FUZZ_CHECK(!name.contains(separator), "one word");
        FUZZ_CHECK(name == name.toUpper(), "upper case");
        FUZZ_CHECK(names.count(name) == 1, "each station once");
    }
}

QStringList stationList(const QByteArray &bytes, qint64 chunk, bool sequential)
{
    ChunkedDevice file(bytes, chunk, sequential);
    file.open(QIODevice::ReadOnly);
    return AddressBook::stationListCallsigns(file);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
               "a scratch file is written");
}

/// Any bytes as the portal's station list.
void anyStationList(const QByteArray &bytes, qint64 chunk)
{
    QBuffer whole;
    whole.setData(bytes);
    whole.open(QIODevice::ReadOnly);
    const QStringList names = AddressBook::stationListCallsigns(whole);
    checkNames(names);
    FUZZ_CHECK(names.size() <= AddressBook::sentLimit, "no more than the limit from a station list");
    FUZZ_CHECK(stationList(bytes, chunk, true) == names && stationList(bytes, chunk, false) == names,
               "the same stations however the file hands out its bytes");

    // Each name stands at the start of a short line.
    QList<QByteArray> lines = bytes.split('\n');
    for (const QString &name : names) {
        const bool found = std::any_of(lines.cbegin(), lines.cend(), [&name](const QByteArray &line) {
            return line.size() <= stationLineBytes && Windows1252::decode(line).trimmed().toUpper().startsWith(name);
        });
        FUZZ_CHECK(found, "a station comes from the start of a short line");
    }
}

/// Any bytes as our file of addressees, perhaps behind a filler that fills
/// the part of it that is read.
void anySentFile(const QString &folder, const QByteArray &bytes, bool behindFiller)
{
    const SettingFiles files(folder, folder);
    QByteArray content = bytes;
    if (behindFiller)
        content.prepend(QByteArray(sentFileReadBytes, '\n'));
    writeFile(files.path(AddressBook::sentFile), content);
    const QStringList names = AddressBook::gather(files, {}).ranked();
    checkNames(names);
    FUZZ_CHECK(names.size() <= AddressBook::sentLimit, "no more than the limit from our file");
    FUZZ_CHECK(!behindFiller || names.isEmpty(), "nothing past the read limit is read");
}

/// To boxes sent one after another, then read back with a station list.
void sentInOrder(const QString &folder, FuzzInput &input)
{
    const SettingFiles files(folder, folder);
    const qint64 high = input.byte();
    const qint64 low = input.byte();
    QDateTime when = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).addSecs(high << 16 | low << 8);
    const int sends = 1 + input.byte() % 8;
    QMap<QString, QDateTime> used;
    for (int i = 0; i < sends && !input.atEnd(); ++i) {
        when = when.addSecs(input.byte() % 4); // the same second now and then
        const QString to = Windows1252::decode(input.piece());
        // Sent from anywhere on Earth: the file keeps the moment.
        const QDateTime local = when.toOffsetFromUtc((int(input.byte() % 57) - 28) * 30 * 60);
        const Outcome recorded = AddressBook::recordSent(files, to, local);
        FUZZ_CHECK(recorded.ok(), "the addressees are written");
        for (const QString &callsign : AddressBook::callsignsIn(to))
            used[callsign] = when;
    }
    QStringList expected = used.keys(); // by name, so that a sort by time keeps names in order within a second
    std::stable_sort(expected.begin(), expected.end(),
                     [&used](const QString &a, const QString &b) { return used[a] > used[b]; });
    expected = expected.mid(0, AddressBook::sentLimit);

    const QByteArray list = input.rest();
    const QString listPath = QDir(folder).filePath(QStringLiteral("listitems.txt"));
    writeFile(listPath, list);
    QBuffer listBytes;
    listBytes.setData(list);
    listBytes.open(QIODevice::ReadOnly);
    for (const QString &station : AddressBook::stationListCallsigns(listBytes))
        if (!expected.contains(station))
            expected << station;

    const QStringList names = AddressBook::gather(files, {QDir(folder).filePath(QStringLiteral("missing.txt")), listPath}).ranked();
    checkNames(names);
    FUZZ_CHECK(names == expected, "the latest used first, then the station list");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    FUZZ_CHECK(scratch.isValid(), "a scratch folder");
    const QString folder = scratch.path();
    QFile::remove(QDir(folder).filePath(QString::fromLatin1(AddressBook::sentFile.name)));

    FuzzInput input(data, size);
    const quint8 how = input.byte();
    switch (how % 3) {
    case 0:
        anyStationList(input.rest(), 1 + (how >> 2));
        break;
    case 1:
        anySentFile(folder, input.rest(), (how & 0xF0) == 0xF0);
        break;
    default:
        sentInOrder(folder, input);
        break;
    }
    return 0;
}
