// The station list file: any content reads into trimmed, non-blank entries;
// the list the portal rewrites reads back to the same entries, byte for byte
// the same file; every entry names an address without trouble.
#include "FuzzInput.h"

#include "StationList.h"

#include <QBuffer>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>

namespace {

QStringList readList(const QByteArray &bytes)
{
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    return StationList::read(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid(), "a scratch folder");
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList entries = readList(bytes);
    for (const QString &entry : entries) {
        FUZZ_CHECK(!entry.isEmpty() && !entry.startsWith(u' ') && !entry.endsWith(u' '), "trimmed, not blank");
        FUZZ_CHECK(!entry.contains(u'\n'), "one line each");
        const QString address = StationList::addressOf(entry);
        FUZZ_CHECK(entry.contains(address), "the address is part of the entry");
        FUZZ_CHECK(!StationList::isAddress(address) || !QHostAddress(address).isNull(), "what counts as an address can be dialled");
    }

    // The portal rewrites the list whole after a change.
    const QString path = folder.filePath(QStringLiteral("listitems.txt"));
    FUZZ_CHECK(StationList::rewrite(path, entries).ok(), "the list is rewritten");
    QFile written(path);
    FUZZ_CHECK(written.open(QIODevice::ReadOnly), "the rewritten list opens");
    const QByteArray rewritten = written.readAll();
    // A CR that ends no line may fall away in a rewrite; every other byte stays.
    if (QByteArray(bytes).replace("\r\n", "\n").contains('\r'))
        return 0;
    const QStringList reread = readList(rewritten);
    FUZZ_CHECK(reread == entries, "the rewritten list reads back the same entries");
    QByteArray expected;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        while (line.startsWith(' '))
            line.remove(0, 1);
        while (line.endsWith(' '))
            line.chop(1);
        if (!line.isEmpty())
            expected += line + "\r\n";
    }
    FUZZ_CHECK(rewritten == expected, "every byte of an entry is written back as it was read");
    return 0;
}
