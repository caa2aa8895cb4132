// The four mail boxes that show a received mail and take the reply: every
// text of the code page put into them comes back out exactly, line ends of
// every kind included.
#include "FuzzInput.h"

#include "compose/MailBoxes.h"
#include "compose/Windows1252.h"

#include <QApplication>
#include <QWidget>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    MailFields mail;
    mail.to = Windows1252::decode(input.piece());
    mail.subject = Windows1252::decode(input.piece());
    mail.message = Windows1252::decode(input.piece());
    mail.from = Windows1252::decode(input.rest());
    QWidget screen;
    MailBoxes boxes(&screen, mail);
    const MailFields shown = boxes.fields();
    FUZZ_CHECK(shown.to == mail.to && shown.subject == mail.subject && shown.from == mail.from, "the line boxes keep their texts");
    FUZZ_CHECK(shown.message == mail.message, "the message box keeps its text");
    boxes.setFields(shown);
    boxes.placeCaretsAtEnd();
    const MailFields again = boxes.fields();
    FUZZ_CHECK(again.message == mail.message && again.to == mail.to, "set again, the same texts");
    return 0;
}
