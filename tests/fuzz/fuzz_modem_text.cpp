// The modem console's output filter: any arrival gives lines that are shown
// as they are: trimmed, never empty, without telnet commands or cursor moves.
#include "FuzzInput.h"

#include "ModemText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray arrival(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = ModemText::visibleLines(arrival);
    FUZZ_CHECK(lines.size() <= arrival.count('\r') + arrival.count('\n') + 1, "no more lines than line ends allow");
    for (const QString &line : lines) {
        FUZZ_CHECK(!line.isEmpty(), "no empty line");
        FUZZ_CHECK(!line.startsWith(u' ') && !line.endsWith(u' '), "trimmed of spaces");
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'), "one line each");
        FUZZ_CHECK(!line.contains(QChar(0xFF)) && !line.contains(QStringLiteral("[A")), "no telnet command, no cursor move");
    }
    // Split anywhere at a line end, the two halves show the same lines.
    const qsizetype cut = arrival.indexOf('\n');
    if (cut >= 0)
        FUZZ_CHECK(ModemText::visibleLines(arrival.left(cut)) + ModemText::visibleLines(arrival.mid(cut + 1)) == lines,
                   "lines do not depend on where the arrival is split at a line end");
    return 0;
}
