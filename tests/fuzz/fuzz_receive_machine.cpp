// The portal's receive state machine fed random byte chunks, in and out of
// chat mode: it never holds more than its line bound, never writes outside
// the receive folder, and a receive file gets its final name only there.
#include "FuzzInput.h"

#include "ReceiveFolder.h"
#include "ReceiveMachine.h"
#include "ReceiveName.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir root;
    FUZZ_CHECK(root.isValid(), "a scratch folder");
    const QString folder = root.filePath(QStringLiteral("receive"));
    FUZZ_CHECK(QDir().mkpath(folder), "the receive folder");
    const QString inside = QDir::cleanPath(folder) + u'/';

    FuzzInput input(data, size);
    const qsizetype limit = 16 + input.byte();
    const uint8_t ending = input.byte();
    {
        ReceiveFolder sink(folder);
        ReceiveMachine machine(sink, limit);
        while (!input.atEnd()) {
            const uint8_t how = input.byte();
            const QByteArray chunk = input.piece().left(1 + how % 64);
            const auto events = machine.feed(chunk, how & 0x80);
            FUZZ_CHECK(machine.buffered() <= machine.lineLimit(), "no more than the line bound is held");
            for (const auto &event : events) {
                if (event.kind == ReceiveMachine::Kind::FileOpened)
                    FUZZ_CHECK(ReceiveName::keepRefusal(event.text).isEmpty(), "only a kept name is opened");
                if (event.kind == ReceiveMachine::Kind::Overflow)
                    FUZZ_CHECK(!machine.fileOpen(), "an overflow only outside a transfer");
            }
            if (machine.fileOpen()) {
                const QString part = QDir::cleanPath(QFileInfo(sink.partialPath(machine.receiveName())).absoluteFilePath());
                FUZZ_CHECK(part.startsWith(inside + QStringLiteral(".incoming/")) && part.count(u'/') == inside.count(u'/') + 1,
                           "the part file lies in the hidden folder of the receive folder");
                FUZZ_CHECK(QFileInfo(part).size() == machine.written(), "every byte of content is written");
            }
            const bool anyEvent = !events.isEmpty();
            if (anyEvent && events.last().kind != ReceiveMachine::Kind::FileOpened
                && events.last().kind != ReceiveMachine::Kind::ChatText)
                break; // the caller closes the connection here
        }
        const QString name = machine.receiveName();
        if (machine.fileOpen() && (ending & 1)) {
            const qint64 written = machine.written();
            FUZZ_CHECK(machine.finishFile().ok(), "a finished file gets its name");
            const QFileInfo final(QDir(folder).filePath(name));
            FUZZ_CHECK(final.isFile() && final.size() == written, "the whole content under its final name");
            FUZZ_CHECK(QDir::cleanPath(final.absoluteFilePath()) == inside + name, "directly in the receive folder");
        }
    } // a machine that ends mid-transfer removes its part file

    QDirIterator all(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString path = QDir::cleanPath(all.next());
        FUZZ_CHECK(path == QDir::cleanPath(folder) || path.startsWith(inside), "nothing written outside the receive folder");
        FUZZ_CHECK(!QFileInfo(path).isFile() || !path.contains(QStringLiteral("/.incoming/")), "no part file left behind");
    }
    FUZZ_CHECK(QDir(folder).removeRecursively(), "the scratch folder is emptied");
    return 0;
}
