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
#include <QTest>

namespace {

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
            send = desk.makeDir("send");
            receive = desk.makeDir("receive");
            files = desk.makeDir("my files");
            desk.files.writePrintLine(Setting::SendDir, send);
            desk.files.writePrintLine(Setting::ReceiveDir, receive);
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
            station.desk.files.remove(Setting::SendDir);
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
            QVERIFY(!AttachmentStream::writeEntry({"m", "s", "t", "f", senderName}, source, out));
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
        if (!box.isEmpty())
            QVERIFY2(station.desk.prompter.lastText().startsWith(box), qPrintable(station.desk.prompter.lastText()));
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
