// Message files: a record the composer writes reads back to the same four
// fields (upper-cased); any text parses or is refused without trouble; the
// kind of a file follows the type words; a sender's name is made safe.
#include "FuzzInput.h"

#include "compose/MessageFile.h"
#include "compose/Windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QString to = Windows1252::decode(input.piece());
    const QString subject = Windows1252::decode(input.piece());
    const QString message = Windows1252::decode(input.piece());
    const QString from = Windows1252::decode(input.piece());
    const QByteArray nameBytes = input.piece();
    const QByteArray content = input.rest();

    const QByteArray line = MessageFile::mailRecordLine(to, subject, message, from);
    FUZZ_CHECK(line.endsWith("\r\n") && line.count(',') == 3, "one record of four fields and CR LF");
    const auto read = MessageFile::parseMail(Windows1252::decode(line));
    FUZZ_CHECK(read, "a written record reads");
    FUZZ_CHECK(read->to == MessageFile::upperCase(to) && read->subject == MessageFile::upperCase(subject)
                   && read->message == MessageFile::upperCase(message) && read->from == MessageFile::upperCase(from),
               "a record reads back to the four fields it was made of");

    // Received content of any kind.
    const QString text = Windows1252::decode(content);
    const auto parsed = MessageFile::parseMail(text);
    FUZZ_CHECK(parsed.has_value() == (text.count(u',') >= 3), "four pieces make a mail, fewer are refused");

    const QString name = QString::fromUtf8(nameBytes);
    const auto kind = MessageFile::classify(content, name);
    const QByteArray upperContent = content.toUpper();
    const QString upperName = name.toUpper();
    const auto expected = upperName.contains(u"MAIL") || upperContent.contains("MAIL") ? MessageFile::Kind::Mail
                          : upperName.contains(u"FILE") || upperContent.contains("FILE")
                              ? MessageFile::Kind::Attachment
                              : MessageFile::Kind::Unrecognized;
    FUZZ_CHECK(kind == expected, "\"MAIL\" first, then \"FILE\", in name or content");

    const QString safe = MessageFile::safeFileName(name);
    FUZZ_CHECK(!safe.contains(u'/') && !safe.contains(u'\\') && !safe.contains(u':'), "no separator or drive");
    FUZZ_CHECK(!safe.startsWith(u'.'), "no hidden name, no parent folder");
    for (const QChar c : safe)
        FUZZ_CHECK(c.category() != QChar::Other_Control, "no control character");
    FUZZ_CHECK(MessageFile::safeFileName(safe) == safe, "a safe name stays as it is");
    FUZZ_CHECK(!MessageFile::fileNamePart(name).contains(u'/') && !MessageFile::fileNamePart(name).contains(u'\\'),
               "the name part has no separator");
    return 0;
}
