#include "FileSizeLimit.h"
#include "TestWaits.h"
#include "TestDesk.h"
#include "compose/AttachmentStream.h"
#include "compose/MailBoxes.h"
#include "compose/MailForm.h"
#include "compose/MessageFile.h"
#include "compose/SendFile.h"
#include "receive/InboxForm.h"
#include "receive/ReadForm.h"
#include "receive/SaveForm.h"
#include "shell/Modsavemodule.h"
#include "shell/WindowChrome.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <cerrno>
#include <cstring>

namespace {

const QString nbsp = QStringLiteral("\u00A0");

QString upper(const QString &text)
{
    return MessageFile::upperCase(text);
}

MailFields upper(const MailFields &mail)
{
    return {upper(mail.to), upper(mail.subject), upper(mail.message), upper(mail.from)};
}

bool operator==(const MailFields &a, const MailFields &b)
{
    return a.to == b.to && a.subject == b.subject && a.message == b.message && a.from == b.from;
}

QStringList listed(const MailFields &mail)
{
    return {mail.to, mail.subject, mail.message, mail.from};
}

struct Station {
    TestDesk desk;
    QString send, save;
    Station()
    {
        send = desk.makeSettingDir(Setting::SendDir, "send");
        save = desk.makeSettingDir(Setting::SaveDir, "save");
    }
    QStringList outbox() const
    {
        return QDir(send).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace

class TestMailBoxes : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheTextExactly_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addRow("lone CR") << "a\rb";
        QTest::addRow("lone LF") << "a\nb";
        QTest::addRow("CR LF") << "a\r\nb";
        QTest::addRow("LF CR is two line ends") << "a\n\rb";
        QTest::addRow("every kind in a row") << "\r\n\r\n\r\r\n";
        QTest::addRow("line ends at both ends") << "\nmiddle\r";
        QTest::addRow("no-break space") << "a" + nbsp + "b" + nbsp;
        QTest::addRow("tab and control characters") << "a\tb\x01" "c";
        QTest::addRow("empty") << "";
    }
    void keepsTheTextExactly()
    {
        QFETCH(QString, message);
        QWidget screen;
        const MailFields mail{"To:" + nbsp + "A", "S" + nbsp, message, nbsp};
        MailBoxes boxes(&screen, mail);
        QVERIFY(boxes.fields() == mail);

        // Box, record, box: what a station sends is what the next one shows.
        const QByteArray record = MessageFile::mailRecordLine(mail.to, mail.subject, mail.message, mail.from);
        const auto received = MessageFile::parseMail(QString::fromLatin1(record));
        QVERIFY(received);
        MailBoxes reader(&screen, {});
        reader.setFields(*received);
        QCOMPARE(listed(reader.fields()), listed(upper(mail)));
        // Box, archive, box.
        reader.setFields(mail);
        const QStringList saved = Modsavemodule::savedMessagePieces(Modsavemodule::archiveRecord(reader.fields()));
        QCOMPARE(saved, listed(mail));
    }

    void editsKeepTheOtherLineEnds()
    {
        QWidget screen;
        MailBoxes boxes(&screen, {"", "", "a\rb\nc", ""});
        screen.show();
        QPlainTextEdit *box = boxes.message;
        box->moveCursor(QTextCursor::End);
        QTest::keyClicks(box, "X");
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, "Y");
        QCOMPARE(boxes.fields().message, "a\rb\ncX\r\nY");

        QTextCursor cursor = box->textCursor();
        cursor.setPosition(1); // before the lone CR
        box->setTextCursor(cursor);
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(boxes.fields().message, "ab\ncX\r\nY");

        cursor.setPosition(3); // at the start of "cX", after the lone LF
        box->setTextCursor(cursor);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(boxes.fields().message, "abcX\r\nY");

        // Pasted line breaks are typed ones.
        box->moveCursor(QTextCursor::Start);
        box->insertPlainText("p\nq" + nbsp);
        QCOMPARE(boxes.fields().message, "p\r\nq" + nbsp + "abcX\r\nY");
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(boxes.fields().message, QString());
    }

    void oneLineBoxesTakeLongTexts()
    {
        QWidget screen;
        const QString longText(40000, u'x');
        MailBoxes boxes(&screen, {longText, longText, longText, longText});
        QCOMPARE(boxes.fields().to.size(), 40000);
        QTest::keyClicks(boxes.subject, "yz");
        QCOMPARE(boxes.fields().subject, longText + "yz");
        QCOMPARE(boxes.fields().from, longText);
    }

    // The reader shows a received mail exactly, replies with the same
    // record, and saves it exactly.
    void theReaderKeepsWhatArrived()
    {
        Station station;
        TestDesk &desk = station.desk;
        const MailFields sent{"TO: A, B", "NET" + nbsp + "CHECK-IN, WEEK 50", "LINE 1\rLINE 2\nLINE 3\r\n" + nbsp,
                              "FROM- C"};
        const QByteArray record = MessageFile::mailRecordLine(sent.to, sent.subject, sent.message, sent.from);
        writeFile(desk.files.path(Setting::MailHandOver), record);
        auto *reader = desk.navigator.open<InboxForm>();
        QCOMPARE(listed(reader->fields()), listed(sent));
        TestDesk::click(reader, "Command1");
        QVERIFY2(desk.prompter.boxes.isEmpty(), qPrintable(desk.prompter.texts().join('|')));
        QCOMPARE(readAll(station.send + "/MAIL - 140509.txt"), record);

        writeFile(desk.files.path(Setting::MailHandOver), record);
        reader = desk.navigator.open<InboxForm>();
        TestDesk::click(reader, "cmdAutoSaveToggle");
        TestDesk::click(reader, "Command2");
        const QString archive = station.save + "/mail_26-12-07_1405.dat";
        QCOMPARE(Modsavemodule::savedMessagePieces(readAll(archive)), listed(sent));

        auto *archiveScreen = desk.navigator.open<SaveForm>();
        child<QListWidget>(archiveScreen, "File1")->setCurrentRow(0);
        TestDesk::click(archiveScreen, "readmail");
        auto *savedReader = desk.navigator.loaded<ReadForm>();
        QVERIFY(savedReader);
        QCOMPARE(child<QLineEdit>(savedReader, "Text3")->text(), sent.to);
        QCOMPARE(child<QLineEdit>(savedReader, "Text2")->text(), sent.subject);
        QCOMPARE(child<QLineEdit>(savedReader, "Text4")->text(), sent.from);
        QCOMPARE(child<QPlainTextEdit>(savedReader, "Text1")->document()->toRawText(),
                 QString("LINE 1\u2029LINE 2\u2029LINE 3\u2029" + nbsp));
    }

    void theComposersKeepWhatWasTyped()
    {
        Station station;
        TestDesk &desk = station.desk;
        auto *composer = desk.navigator.open<MailForm>();
        const QString longSubject = QString(40000, u's') + nbsp;
        child<QLineEdit>(composer, "Text2")->setText(longSubject);
        auto *message = child<QPlainTextEdit>(composer, "Text1");
        message->setFocus();
        QTest::keyClicks(message, "a" + nbsp + "b");
        QTest::keyClick(message, Qt::Key_Return);
        QTest::keyClicks(message, "c");
        TestDesk::click(composer, "Command1");
        QVERIFY2(desk.prompter.boxes.isEmpty(), qPrintable(desk.prompter.texts().join('|')));
        const QStringList posted = QDir(station.send).entryList(QDir::Files);
        QCOMPARE(posted.size(), 1);
        const auto mail = MessageFile::parseMail(QString::fromLatin1(readAll(station.send + u'/' + posted.first())));
        QVERIFY(mail);
        QCOMPARE(mail->subject, upper(longSubject));
        QCOMPARE(mail->message, "A" + nbsp + "B\r\nC");

        const QString attached = desk.makeDir("files") + "/note.txt";
        writeFile(attached, "x");
        auto *attachmentComposer = desk.navigator.open<SendFile>();
        child<QLineEdit>(attachmentComposer, "Text5")->setText(attached);
        child<QLineEdit>(attachmentComposer, "Text3")->setText("TO:" + nbsp);
        child<QPlainTextEdit>(attachmentComposer, "Text1")->setPlainText("m" + nbsp);
        TestDesk::click(attachmentComposer, "Command1");
        const QStringList entries = QDir(station.send).entryList({"File*"}, QDir::Files);
        QCOMPARE(entries.size(), 1);
        QFile entry(station.send + u'/' + entries.first());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        AttachmentStream::Reader entryReader(entry);
        const auto header = entryReader.readHeader();
        QVERIFY2(header, qPrintable(header.error()));
        QCOMPARE(header->to, "TO:" + nbsp);
        QCOMPARE(header->message, "m" + nbsp);
    }

    // The attached file's box shows a long path by both ends at rest, holds
    // and posts the whole of it, and takes a path typed by hand.
    void theAttachedFileBoxShowsBothEnds_data()
    {
        QTest::addColumn<bool>("typed");
        QTest::addRow("picked") << false;
        QTest::addRow("typed by hand") << true;
    }
    void theAttachedFileBoxShowsBothEnds()
    {
        QFETCH(bool, typed);
        Station station;
        TestDesk &desk = station.desk;
        const QString attached =
            desk.makeDir(QStringList(4, QString(40, u'd')).join(u'/')) + "/report of the net.txt";
        writeFile(attached, "x");
        auto *composer = desk.navigator.open<SendFile>();
        composer->show();
        QVERIFY(QTest::qWaitForWindowExposed(composer, TestWaits::settleMs));
        auto *box = qobject_cast<PathBox *>(child<QLineEdit>(composer, "Text5"));
        QVERIFY(box);
        QCOMPARE(child<QLabel>(composer, "Label2")->text(), "Attached File");
        QCOMPARE(child<QLabel>(composer, "Label2")->buddy(), box);
        if (typed) {
            box->setFocus();
            QTest::keyClicks(box, QDir::toNativeSeparators(attached));
        } else {
            desk.filePicker.openAnswers.enqueue(attached);
            TestDesk::click(composer, "Addfile");
        }
        child<QLineEdit>(composer, "Text2")->setFocus();
        QCOMPARE(box->text(), QDir::toNativeSeparators(attached));
        QVERIFY(box->toolTip().contains(box->text()));
        const QString shown = box->shownText();
        const qsizetype cut = shown.indexOf(QChar(0x2026));
        QVERIFY2(cut > 0 && cut < shown.size() - 1, qPrintable(shown));
        QVERIFY(box->text().startsWith(shown.left(cut)));
        QVERIFY(box->text().endsWith(shown.mid(cut + 1)));

        TestDesk::click(composer, "Command1");
        const QStringList entries = QDir(station.send).entryList({"File*"}, QDir::Files);
        QCOMPARE(entries.size(), 1);
        QFile entry(station.send + u'/' + entries.first());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        AttachmentStream::Reader reader(entry);
        const auto header = reader.readHeader();
        QVERIFY2(header, qPrintable(header.error()));
        QCOMPARE(header->fileName, "report of the net.txt");
    }

    // A post that cannot be written says the system's reason, leaves the
    // composer open with its text, and leaves the outbox as it was.
    void aFailedPostIsSaidAndUndone()
    {
        Station station;
        TestDesk &desk = station.desk;
        auto *composer = desk.navigator.open<MailForm>();
        const QString target = station.send + "/MAIL - From---14-05-09--12-07-26.dat";
        if (!QFile::link("/dev/full", target))
            QSKIP("no /dev/full here");
        TestDesk::click(composer, "Command1");
        QCOMPARE(desk.navigator.loaded<MailForm>(), composer);
        // A device under the file's name is not written to at all.
        QVERIFY2(desk.prompter.lastText().contains(QStringLiteral("is a device, not a regular file")),
                 qPrintable(desk.prompter.lastText()));
        QCOMPARE(station.outbox(), QStringList{QFileInfo(target).fileName()});
        QFile::remove(target);

        const QString attached = desk.makeDir("files") + "/big.bin";
        writeFile(attached, QByteArray(200 * 1024, 'b'));
        auto *attachmentComposer = desk.navigator.open<SendFile>();
        child<QLineEdit>(attachmentComposer, "Text5")->setText(attached);
        {
            FileSizeLimit limit(64 * 1024);
            if (!limit.isSet())
                QSKIP("the file size limit cannot be set here");
            TestDesk::click(attachmentComposer, "Command1");
        }
        QCOMPARE(desk.navigator.loaded<SendFile>(), attachmentComposer);
        QVERIFY2(desk.prompter.lastText().contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(desk.prompter.lastText()));
        QCOMPARE(station.outbox(), QStringList());
    }
};

QTEST_MAIN(TestMailBoxes)
#include "tst_mailboxes.moc"
