// Comma-separated records: fields written by `line` read back the same;
// any text reads without trouble and always moves forward.
#include "FuzzInput.h"

#include "compose/CsvRecords.h"
#include "compose/Windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int count = 1 + input.byte() % 6;
    QStringList fields;
    for (int i = 0; i < count; ++i)
        fields << Windows1252::decode(input.piece());
    const QString written = CsvRecords::line(fields) + CsvRecords::line(fields);
    CsvRecords::Reader reader(written);
    FUZZ_CHECK(reader.next() == fields, "a written record reads back the same");
    FUZZ_CHECK(reader.next() == fields, "the next record too");
    FUZZ_CHECK(reader.atEnd(), "nothing left after two records");

    const QString text = Windows1252::decode(input.rest());
    CsvRecords::Reader any(text);
    qsizetype records = 0;
    while (!any.atEnd()) {
        const QStringList record = any.next();
        FUZZ_CHECK(!record.isEmpty(), "a record has a field");
        FUZZ_CHECK(++records <= text.size(), "every record takes at least one character");
    }
    return 0;
}
