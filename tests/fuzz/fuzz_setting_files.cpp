// Setting files as found on disk: any content reads without trouble into one
// line; and every value the desk writes reads back as it was written.
#include "FuzzInput.h"

#include "shell/SettingFiles.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid(), "a scratch folder");
    const SettingFiles files(folder.path() + u'/', folder.path());
    FuzzInput input(data, size);
    const uint8_t choice = input.byte();
    const QByteArray raw = input.piece();
    const QString value = QString::fromUtf8(input.rest());

    // Whatever another program or a damaged disk left in the file.
    FUZZ_CHECK(files.writeBytes(Setting::SendDir, raw).ok(), "the scratch file is written");
    const auto line = files.readLine(Setting::SendDir);
    // The first line without its line end; only that much is ever read.
    QByteArray first = raw.left(raw.indexOf('\n') < 0 ? raw.size() : raw.indexOf('\n'));
    while (first.endsWith('\r'))
        first.chop(1);
    if (first.size() <= SettingFiles::maxLineBytes)
        FUZZ_CHECK(line && *line == QString::fromUtf8(first), "a first line within the bound reads whole");
    else if (first.size() > SettingFiles::maxLineBytes + 2)
        FUZZ_CHECK(!line, "a first line past the bound is no setting");
    if (line) {
        FUZZ_CHECK(!line->contains(u'\n') && !line->endsWith(u'\r'), "one line without its line end");
        const auto field = files.readField(Setting::SendDir);
        FUZZ_CHECK(field && *field == SettingFiles::firstField(*line), "the field read is the line's first field");
        FUZZ_CHECK(files.readNumber(Setting::SendDir) == SettingFiles::toNumber(*field), "a number read is the field's");
        FUZZ_CHECK(files.readTruth(Setting::SendDir) == SettingFiles::toTruth(*field), "a truth read is the field's");
    }

    // What the desk writes itself: it reads back, or it is not written.
    const bool plain = !value.contains(u'\r') && !value.contains(u'\n');
    const qsizetype length = value.toUtf8().size();
    if (plain) {
        FUZZ_CHECK(files.writePrintLine(Setting::ReceiveDir, value).ok() == (length <= SettingFiles::maxLineBytes),
                   "a print line is written exactly when it fits the bound");
        if (length <= SettingFiles::maxLineBytes)
            FUZZ_CHECK(files.readLine(Setting::ReceiveDir) == value, "a print line reads back");
        if (!value.contains(u'"') && length + 2 <= SettingFiles::maxLineBytes) {
            FUZZ_CHECK(files.writeRecord(Setting::SaveDir, value), "a record is written");
            FUZZ_CHECK(files.readField(Setting::SaveDir) == value, "a quoted record reads back");
        }
    }
    const int number = static_cast<int>(quint32(choice) * 0x01000193u);
    FUZZ_CHECK(files.writeRecord(Setting::SoundState, number), "a number is written");
    FUZZ_CHECK(files.readNumber(Setting::SoundState) == number, "a number reads back");
    const bool truth = choice & 2;
    FUZZ_CHECK(files.writeRecord(Setting::AutoSaveStore, truth), "a truth is written");
    FUZZ_CHECK(files.readTruth(Setting::AutoSaveLoad) == truth, "a truth reads back, under either spelling of the path");
    FUZZ_CHECK(files.writePrintLine(Setting::SoundSettings, truth), "a truth is printed");
    FUZZ_CHECK(files.readTruth(Setting::SoundSettings) == truth, "a printed truth reads back");
    return 0;
}
