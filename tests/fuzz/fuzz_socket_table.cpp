// The socket table as the system lists it: any text reads without trouble;
// each line shown holds the protocol, two endpoints with ports and a state,
// and the port filter keeps only lines of the table it was given.
#include "FuzzInput.h"

#include "SocketTable.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const quint16 port = quint16(input.byte() << 8 | input.byte());
    QBuffer table;
    table.setData(input.rest());
    table.open(QIODevice::ReadOnly);
    const QStringList lines = SocketTable::read(table);
    FUZZ_CHECK(lines.size() <= table.data().count('\n') + 1, "at most one line per line of the table");
    for (const QString &line : lines) {
        const QStringList fields = line.simplified().split(u' ');
        FUZZ_CHECK(fields.size() == 4 && fields[0] == u"TCP", "protocol, two endpoints and a state");
        FUZZ_CHECK(fields[1].contains(u':') && fields[2].contains(u':'), "endpoints with ports");
    }
    const QStringList matching = SocketTable::usingPort(lines, port);
    for (const QString &line : matching)
        FUZZ_CHECK(lines.contains(line), "the filter keeps only lines of the table");
    FUZZ_CHECK(SocketTable::usingPort(matching, port) == matching, "filtering twice changes nothing");
    return 0;
}
