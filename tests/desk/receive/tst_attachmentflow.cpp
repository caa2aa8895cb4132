#include "TestDesk.h"
#include "compose/AttachmentStream.h"
#include "compose/FrmDecide.h"
#include "compose/SendFile.h"
#include "launcher/Rodiruverezer.h"
#include "receive/InboxForm.h"
#include "receive/ReceiveFile.h"
#include "receive/Received.h"
#include "shell/MainMenu.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

QByteArray entry(const AttachmentHeader &header, const QByteArray &bytes)
{
    QByteArray data(bytes);
    QBuffer source(&data);
    source.open(QIODevice::ReadOnly);
    QByteArray message;
    QBuffer out(&message);
    out.open(QIODevice::WriteOnly);
    if (const Outcome written = AttachmentStream::writeEntry(header, source, out); !written)
        qWarning() << written.error();
    return message;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes;
}

} // namespace

class TestAttachmentFlow : public QObject
{
    Q_OBJECT

private:
    struct Station {
        TestDesk desk;
        QString send, receive, files;
        Station()
        {
            send = desk.makeSettingDir(Setting::SendDir, "send");
            receive = desk.makeSettingDir(Setting::ReceiveDir, "receive");
            files = desk.makeDir("my files");
        }

        // Composes through the screens; returns the outbox file's path.
        QString compose(const QString &attached, const QString &message = "Message: see attached")
        {
            auto *chooser = desk.navigator.open<FrmDecide>();
            TestDesk::click(chooser, "Cmdfile");
            auto *composer = desk.navigator.loaded<SendFile>();
            child<QPlainTextEdit>(composer, "Text1")->setPlainText(message);
            desk.filePicker.openAnswers.enqueue(attached);
            TestDesk::click(composer, "Addfile");
            TestDesk::click(composer, "Command1");
            const QStringList posted = QDir(send).entryList(QDir::Files);
            return posted.isEmpty() ? QString() : send + u'/' + posted.first();
        }

        // Moves a message into the inbox and reads it through the received list.
        ReceiveFile *receiveMessage(const QString &outboxFile)
        {
            const QString inbox = receive + u'/' + QFileInfo(outboxFile).fileName();
            QFile::rename(outboxFile, inbox);
            auto *list = desk.navigator.open<Received>();
            child<QListWidget>(list, "File1")->setCurrentRow(0);
            TestDesk::click(list, "Command2");
            return desk.navigator.loaded<ReceiveFile>();
        }
    };

private slots:
    void roundTrips_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addRow("one byte") << QByteArray("x");
        QTest::addRow("all 256 byte values") << allByteValues();
        QByteArray larger;
        for (int i = 0; i < 300000; ++i)
            larger += char((quint32(i) * 7919u) >> 3);
        QTest::addRow("several hundred kilobytes") << larger;
    }
    void roundTrips()
    {
        QFETCH(QByteArray, bytes);
        Station station;
        writeFile(station.files + "/report.bin", bytes);
        const QString posted = station.compose(station.files + "/report.bin");
        QVERIFY(QFileInfo(posted).fileName().startsWith("File - 14-05-09--12-07-26"));
        QVERIFY(station.desk.navigator.loaded<Rodiruverezer>()->isVisible());
        QVERIFY(!station.desk.navigator.loaded<SendFile>());

        auto *receiver = station.receiveMessage(posted);
        QVERIFY(receiver && receiver->isVisible());
        QVERIFY(!QFile::exists(station.receive + u'/' + QFileInfo(posted).fileName()));
        QCOMPARE(child<QPlainTextEdit>(receiver, "Text1")->toPlainText(), "Message: see attached");
        QCOMPARE(child<QLineEdit>(receiver, "Text3")->text(), "TO:");
        const QString written = station.desk.programDir() + "/report.bin";
        QCOMPARE(QDir::fromNativeSeparators(child<QLineEdit>(receiver, "Text5")->text()), written);
        QCOMPARE(readAll(written), bytes);

        // Save a copy elsewhere through the save dialog.
        station.desk.filePicker.saveAnswers.enqueue(station.files + "/copy.bin");
        QTest::mouseClick(child<QLineEdit>(receiver, "Text5"), Qt::LeftButton);
        QCOMPARE(station.desk.filePicker.titles.last(), "Save Attachment As");
        QCOMPARE(readAll(station.files + "/copy.bin"), bytes);
        QVERIFY(station.desk.prompter.lastText().startsWith("File successfully saved to: "));

        TestDesk::click(receiver, "Command2");
        QVERIFY(!station.desk.navigator.loaded<ReceiveFile>());
        QVERIFY(!station.desk.navigator.loaded<InboxForm>());
        QVERIFY(station.desk.navigator.loaded<MainMenu>()->isVisible());
    }

    void composerRefusals_data()
    {
        QTest::addColumn<QString>("attach");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("message");
        QTest::addRow("empty file") << "empty.txt" << "" << "Error: File is empty or unreadable!";
        QTest::addRow("no file chosen") << "" << "" << "No file selected!";
        QTest::addRow("no such file") << "gone.txt" << "" << "The attachment could not be posted";
        QTest::addRow("no send.dat") << "a.txt" << "no setting" << "The attachment could not be posted";
        QTest::addRow("send folder gone") << "a.txt" << "no folder" << "The attachment could not be posted";
    }
    void composerRefusals()
    {
        QFETCH(QString, attach);
        QFETCH(QString, problem);
        QFETCH(QString, message);
        Station station;
        writeFile(station.files + "/empty.txt", "");
        writeFile(station.files + "/a.txt", "a");
        if (problem == "no setting")
            QVERIFY(station.desk.files.remove(Setting::SendDir));
        if (problem == "no folder")
            QDir(station.send).removeRecursively();
        auto *composer = station.desk.navigator.open<SendFile>();
        child<QLineEdit>(composer, "Text5")->setText(attach.isEmpty() ? QString() : station.files + u'/' + attach);
        TestDesk::click(composer, "Command1");
        QVERIFY2(station.desk.prompter.lastText().startsWith(message), qPrintable(station.desk.prompter.lastText()));
        QCOMPARE(station.desk.navigator.loaded<SendFile>(), composer);
        QVERIFY(!QDir(station.send).exists() || QDir(station.send).isEmpty());
    }

    void cancelledPickerSaysSo()
    {
        Station station;
        auto *composer = station.desk.navigator.open<SendFile>();
        TestDesk::click(composer, "Addfile");
        QCOMPARE(station.desk.prompter.texts(),
                 (QStringList{"Opening file dialog...", "Error: No file selected or invalid file!"}));
    }

    // Messages built by hand, as another station's program might send them.
    void hostileAndBrokenMessages_data()
    {
        QTest::addColumn<QString>("senderName");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expectedName"); // empty: nothing written
        QTest::addColumn<QString>("box");
        QTest::addRow("parent folders") << "../../x" << QByteArray() << "x" << "";
        QTest::addRow("drive prefix") << "C:\\x" << QByteArray() << "x" << "";
        QTest::addRow("absolute path") << "/etc/x" << QByteArray() << "x" << "";
        QTest::addRow("a switch of the program") << "autosave.dat" << QByteArray() << ""
                                                   << "The attachment could not be received";
        QTest::addRow("nothing usable") << ".." << QByteArray() << "" << "The attachment could not be received";
        QTest::addRow("five pieces") << "" << QByteArray("YSxiLGMsZCxl\r\n") << ""
                                     << "Error: Decoded data format is incorrect!";
        QTest::addRow("not Base64") << "" << QByteArray("this is * not base64\r\n") << ""
                                    << "The attachment could not be received";
    }
    void hostileAndBrokenMessages()
    {
        QFETCH(QString, senderName);
        QFETCH(QByteArray, message);
        QFETCH(QString, expectedName);
        QFETCH(QString, box);
        Station station;
        if (message.isEmpty()) {
            QByteArray data("secret");
            QBuffer source(&data);
            source.open(QIODevice::ReadOnly);
            QBuffer out(&message);
            out.open(QIODevice::WriteOnly);
            QVERIFY(AttachmentStream::writeEntry({"m", "s", "t", "f", senderName}, source, out));
        }
        writeFile(station.receive + "/File - 1.txt", message);
        const QStringList before = QDir(station.desk.programDir()).entryList(QDir::Files);
        auto *list = station.desk.navigator.open<Received>();
        child<QListWidget>(list, "File1")->setCurrentRow(0);
        TestDesk::click(list, "Command2");
        QVERIFY(station.desk.navigator.loaded<ReceiveFile>());
        QStringList after = QDir(station.desk.programDir()).entryList(QDir::Files);
        for (const QString &name : before)
            after.removeOne(name);
        QCOMPARE(after, expectedName.isEmpty() ? QStringList{} : QStringList{expectedName});
        // Nothing lands anywhere else under the temporary root either.
        QVERIFY(!QFile::exists(station.desk.makeDir("..") + "/x"));
        const QStringList said = station.desk.prompter.texts();
        if (!box.isEmpty())
            QVERIFY2(std::any_of(said.begin(), said.end(), [&](const QString &text) { return text.startsWith(box); }),
                     qPrintable(said.join(" | ")));
        // Only a message whose attachment was written leaves the receive folder.
        QCOMPARE(QFile::exists(station.receive + "/File - 1.txt"), expectedName.isEmpty());
    }

    // The received file leaves the receive folder only once its attached
    // file is written; on any failure it stays, and the operator is told.
    void aMessageStaysUntilItsAttachmentIsWritten_data()
    {
        const QByteArray whole = entry({"m", "s", "t", "f", "cut.bin"}, randomBytes(30000));
        // Neither layer of the first entry ends with '=' (see the stream
        // tests); a relay that turned LF into CR LF hides where it ends.
        QByteArray relayed;
        for (const QByteArray &post : {entry({"first", "s", "t", "f", "one.bin"}, QByteArray(300, 'x')),
                                       entry({"abcd", "s", "t", "f", "two.bin"}, "second data")}) {
            const QByteArray body = post.trimmed();
            for (qsizetype i = 0; i < body.size(); i += 76)
                relayed += body.mid(i, 76) + "\r\n";
        }
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("written"); // the attached file's name; empty: none
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("stays");
        QTest::addColumn<QString>("cause"); // some box starts with it
        QTest::addRow("whole") << whole << "" << "cut.bin" << QByteArray() << false << "";
        QTest::addRow("cut in half") << whole.first(whole.size() / 2) << "" << "" << QByteArray() << true
                                     << "The attachment could not be received";
        QTest::addRow("1 MB of random bytes") << randomBytes(1024 * 1024) << "" << "" << QByteArray() << true
                                             << "The attachment could not be received";
        QTest::addRow("hand-over cannot be written") << whole << "hand-over blocked" << "" << QByteArray() << true
                                                     << "";
        QTest::addRow("program folder cannot be written") << whole << "read-only program folder" << "" << QByteArray()
                                                          << true << "The attachment could not be received";
        QTest::addRow("two entries whose boundary cannot be told")
            << relayed << "" << "" << QByteArray() << true << "The attachment could not be received";
        QByteArray relayedOne;
        for (qsizetype i = 0; i < whole.trimmed().size(); i += 76)
            relayedOne += whole.trimmed().mid(i, 76) + "\r\n";
        QTest::addRow("line ends changed on the way: written, said, kept")
            << relayedOne << "" << "cut.bin" << QByteArray() << true << "The line ends of this message were changed";
        // The record starts with the bytes 99 A8 A5, so the message file's
        // Base64 text starts with "mail"; the name still decides.
        QTest::addRow("\"mail\" spelled by the Base64 text")
            << entry({"\u2122\u00a8\u00a5 see attached", "s", "t", "f", "mail.bin"}, "spelled") << "" << "mail.bin"
            << QByteArray("spelled") << false << "";
        QTest::addRow("text after the attachment's end")
            << entry({"m", "s", "t", "f", "one.bin"}, "ab").trimmed() + "QUJD\r\n" << "" << "one.bin"
            << QByteArray("ab") << true << "The message file holds more than this one attachment";
    }
    void aMessageStaysUntilItsAttachmentIsWritten()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, setup);
        QFETCH(QString, written);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, stays);
        QFETCH(QString, cause);
        Station station;
        const QString arrived = station.receive + "/File - x.txt";
        writeFile(arrived, message);
        if (setup == "hand-over blocked")
            QDir().mkpath(station.desk.files.path(Setting::AttachmentHandOver) + "/inside");
        // A file where the attachment's own folder should be: nothing can be written under it.
        const QString programDir = station.desk.programDir();
        if (setup == "read-only program folder") {
            QDir(programDir).removeRecursively();
            writeFile(programDir, "not a folder");
        }
        const QStringList before = QDir(programDir).entryList(QDir::Files);
        auto *list = station.desk.navigator.open<Received>();
        child<QListWidget>(list, "File1")->setCurrentRow(0);
        TestDesk::click(list, "Command2");
        QCOMPARE(readAll(arrived), stays ? message : QByteArray("<missing>"));
        QStringList after = QDir(programDir).entryList(QDir::Files);
        for (const QString &name : before)
            after.removeOne(name);
        QCOMPARE(after, written.isEmpty() ? QStringList{} : QStringList{written});
        if (!bytes.isEmpty())
            QCOMPARE(readAll(programDir + u'/' + written), bytes);
        const QStringList said = station.desk.prompter.texts();
        if (!cause.isEmpty())
            QVERIFY2(std::any_of(said.begin(), said.end(), [&](const QString &text) { return text.startsWith(cause); }),
                     qPrintable(said.join(" | ")));
        if (stays)
            QVERIFY2(said.join(" | ").contains("The message stays in the receive folder: "
                                               + QDir::toNativeSeparators(arrived)),
                     qPrintable(said.join(" | ")));
        else
            QVERIFY2(said.isEmpty(), qPrintable(said.join(" | ")));
    }

    // Two posts of one second share a file: the first is read now, the
    // second becomes a message of its own and is read next, each exactly.
    void twoPostsInOneFileAreReadOneByOne()
    {
        Station station;
        // Neither layer of the first entry ends with '=', and the second
        // message is letters whose count is a multiple of four.
        const QByteArray first = entry({"first", "s", "t", "f", "one.bin"}, "first data!!");
        const QByteArray second = entry({"abcd", "s2", "t2", "f2", "two.bin"}, "second data");
        QVERIFY(!first.contains('='));
        const QString arrived = station.receive + "/File - 14-05-09--12-07-26.txt";
        const QString split = station.receive + "/File - 14-05-09--12-07-26 (2).txt";
        writeFile(arrived, first + second);
        auto *list = station.desk.navigator.open<Received>();
        child<QListWidget>(list, "File1")->setCurrentRow(0);
        TestDesk::click(list, "Command2");
        QCOMPARE(readAll(station.desk.programDir() + "/one.bin"), QByteArray("first data!!"));
        QVERIFY(!QFile::exists(arrived));
        QCOMPARE(readAll(split), second);
        QVERIFY(station.desk.prompter.lastText().contains(QFileInfo(split).fileName()));

        TestDesk::click(station.desk.navigator.loaded<ReceiveFile>(), "Command2");
        list = station.desk.navigator.open<Received>();
        child<QListWidget>(list, "File1")->setCurrentRow(0);
        TestDesk::click(list, "Command2");
        auto *receiver = station.desk.navigator.loaded<ReceiveFile>();
        QCOMPARE(child<QPlainTextEdit>(receiver, "Text1")->toPlainText(), "abcd");
        QCOMPARE(child<QLineEdit>(receiver, "Text3")->text(), "t2");
        QCOMPARE(readAll(station.desk.programDir() + "/two.bin"), QByteArray("second data"));
        QVERIFY(QDir(station.receive).isEmpty());
    }

    // Both programs may stand in one folder; a received attachment never
    // replaces either of them, nor a setting or hand-over file, nor any
    // executable, and it never becomes executable itself.
    void anAttachmentNeverReplacesAProgramOrSetting_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("present"); // "", "executable", "plain", "link"
        QTest::addColumn<bool>("written");
        QTest::addRow("the portal beside the desk") << "tavrixportal" << "executable" << false;
        QTest::addRow("the portal's name, portal absent") << "tavrixportal" << "" << false;
        QTest::addRow("the desk's name in capitals") << "TAVRIXDESK" << "" << false;
        QTest::addRow("another executable") << "run.sh" << "executable" << false;
        QTest::addRow("a setting file") << "receive.dat" << "plain" << false;
        QTest::addRow("a setting file in capitals") << "SEND.DAT" << "" << false;
        QTest::addRow("the mail hand-over") << "mail.dat" << "" << false;
        QTest::addRow("the attachment hand-over") << "temp" << "" << false;
        QTest::addRow("the portal's station list") << "listitems.txt" << "plain" << false;
        QTest::addRow("the portal's radio choice") << "RadioModem.ini" << "" << false;
        QTest::addRow("the portal's transfer log") << "transferlog.csv" << "plain" << false;
        QTest::addRow("our address book") << "addressbook.dat" << "plain" << false;
        QTest::addRow("our unattended settings") << "unattended.dat" << "" << false;
        QTest::addRow("a station log") << "stationlog-2026-12-08.txt" << "plain" << false;
        QTest::addRow("a link to elsewhere") << "notes.txt" << "link" << false;
        QTest::addRow("an earlier attachment") << "notes.txt" << "plain" << true;
        QTest::addRow("a new file") << "notes.txt" << "" << true;
    }
    void anAttachmentNeverReplacesAProgramOrSetting()
    {
        QFETCH(QString, name);
        QFETCH(QString, present);
        QFETCH(bool, written);
        Station station;
        const QString target = station.desk.programDir() + u'/' + name;
        const QString elsewhere = station.files + "/elsewhere";
        const QByteArray before = "#!/bin/sh\nexit 0\n";
        if (present == "link") {
            writeFile(elsewhere, before);
            QVERIFY(QFile::link(elsewhere, target));
        } else if (!present.isEmpty()) {
            writeFile(target, before);
        }
        if (present == "executable")
            QVERIFY(QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ExeOwner
                                                      | QFileDevice::ExeGroup | QFileDevice::ExeOther));
        const QFileDevice::Permissions permissionsBefore = QFile::permissions(target);
        const QString arrived = station.receive + "/File - 1.txt";
        writeFile(arrived, entry({"m", "s", "t", "f", name}, "received bytes"));
        auto *list = station.desk.navigator.open<Received>();
        child<QListWidget>(list, "File1")->setCurrentRow(0);
        TestDesk::click(list, "Command2");

        const QStringList said = station.desk.prompter.texts();
        QCOMPARE(QFile::exists(arrived), !written);
        if (written) {
            QCOMPARE(readAll(target), QByteArray("received bytes"));
            const QFileDevice::Permissions executable =
                QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup | QFileDevice::ExeOther;
            QVERIFY(!(QFile::permissions(target) & executable));
            QVERIFY2(said.isEmpty(), qPrintable(said.join(" | ")));
            return;
        }
        QCOMPARE(readAll(present == "link" ? elsewhere : target), present.isEmpty() ? QByteArray("<missing>") : before);
        if (!present.isEmpty())
            QCOMPARE(QFile::permissions(target), permissionsBefore);
        QVERIFY2(said.size() >= 2 && said.first().startsWith("The attachment could not be received: ")
                     && said.first().contains(present == "link" ? QString("link") : name, Qt::CaseInsensitive),
                 qPrintable(said.join(" | ")));
    }

    void aShorterFileReplacesALongerOneWhole()
    {
        Station station;
        writeFile(station.desk.programDir() + "/report.bin", QByteArray(5000, 'L'));
        writeFile(station.files + "/report.bin", "short");
        station.receiveMessage(station.compose(station.files + "/report.bin"));
        QCOMPARE(readAll(station.desk.programDir() + "/report.bin"), QByteArray("short"));
    }
};

QTEST_MAIN(TestAttachmentFlow)
#include "tst_attachmentflow.moc"
