#include "compose/CsvRecords.h"
#include "platform/Clock.h"
#include "shell/Modsavemodule.h"
#include "shell/SettingFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

class FixedClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)); }
};

} // namespace

class TestCsvRecords : public QObject
{
    Q_OBJECT

private slots:
    void writing_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        QTest::addRow("plain fields stay bare") << QStringList{"TO: AB", "X", "Hi", "C"} << "TO: AB,X,Hi,C\r\n";
        QTest::addRow("empty fields") << QStringList{"", "", "", ""} << ",,,\r\n";
        QTest::addRow("comma") << QStringList{"NET CHECK-IN, WEEK 50"} << "\"NET CHECK-IN, WEEK 50\"\r\n";
        QTest::addRow("quotes doubled") << QStringList{"say \"hi\""} << "\"say \"\"hi\"\"\"\r\n";
        QTest::addRow("lone CR") << QStringList{"a\rb"} << "\"a\rb\"\r\n";
        QTest::addRow("lone LF") << QStringList{"a\nb"} << "\"a\nb\"\r\n";
        QTest::addRow("CR LF") << QStringList{"a\r\nb", "c"} << "\"a\r\nb\",c\r\n";
        QTest::addRow("leading and trailing blanks kept bare") << QStringList{" a ", "\tb"} << " a ,\tb\r\n";
    }
    void writing()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, line);
        QCOMPARE(CsvRecords::line(fields), line);
        // What is written reads back as it was.
        CsvRecords::Reader reader(line);
        QCOMPARE(reader.next(), fields);
        QVERIFY(reader.atEnd());
    }

    void reading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QStringList>>("records");
        using Records = QList<QStringList>;
        QTest::addRow("two records") << "a,b\r\nc,d\r\n" << Records{{"a", "b"}, {"c", "d"}};
        QTest::addRow("no line end at the end") << "a,b" << Records{{"a", "b"}};
        QTest::addRow("lone LF and lone CR end records") << "a\nb\rc" << Records{{"a"}, {"b"}, {"c"}};
        QTest::addRow("empty line") << "a\r\n\r\nb" << Records{{"a"}, {""}, {"b"}};
        QTest::addRow("trailing comma") << "a,\r\n" << Records{{"a", ""}};
        QTest::addRow("quoted line ends stay in the field")
            << "\"1\r\n2\n3\r4\",x\r\n" << Records{{"1\r\n2\n3\r4", "x"}};
        QTest::addRow("empty quoted field") << "\"\",a" << Records{{"", "a"}};
        QTest::addRow("doubled quotes") << "\"\"\"q\"\"\"" << Records{{"\"q\""}};
        // Text written by hand or by programs that never quoted.
        QTest::addRow("quote inside a bare field") << "say \"hi\",b" << Records{{"say \"hi\"", "b"}};
        QTest::addRow("quote closed before other text") << "\"hi\" there,b" << Records{{"\"hi\" there", "b"}};
        QTest::addRow("quote never closed") << "\"hi,b\r\nc" << Records{{"\"hi", "b"}, {"c"}};
        QTest::addRow("a lone quote") << "\"" << Records{{"\""}};
    }
    void reading()
    {
        QFETCH(QString, text);
        QFETCH(QList<QStringList>, records);
        CsvRecords::Reader reader(text);
        QList<QStringList> read;
        while (!reader.atEnd())
            read << reader.next();
        QCOMPARE(read, records);
    }

    void quotedIsTold()
    {
        CsvRecords::Reader reader(QStringLiteral("a,\"b\"\r\nc,\"d\r\n"));
        reader.next();
        QVERIFY(reader.lastWasQuoted());
        reader.next();
        QVERIFY(!reader.lastWasQuoted()); // the second quote never closes
    }

    void savedMessages_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QStringList>("pieces");
        QTest::addRow("comma in the subject")
            << QByteArray("TO: AB,\"NET CHECK-IN, WEEK 50\",HI,FROM- C\r\n")
            << QStringList{"TO: AB", "NET CHECK-IN, WEEK 50", "HI", "FROM- C"};
        QTest::addRow("line ends and a no-break space in the message")
            << QByteArray("A,B,\"1\r2\n3\r\n4\xC2\xA0" "5\",D\r\n")
            << QStringList{"A", "B", "1\r2\n3\r\n4\u00A0" "5", "D"};
        QTest::addRow("first of two saves, From without the next line")
            << QByteArray("A,B,C,D\r\nE,F,G,H\r\n") << QStringList{"A", "B", "C", "D"};
        QTest::addRow("blank lines before the first save")
            << QByteArray("\r\n\r\nA,B,C,D\r\n") << QStringList{"A", "B", "C", "D"};
        QTest::addRow("the hand-over's own line end") << QByteArray("A,B,\"x,y\",D\r\n\r\n")
                                                      << QStringList{"A", "B", "x,y", "D"};
        // Archives written before fields were quoted.
        QTest::addRow("old: comma in the message")
            << QByteArray("A,B,hello, world,D\r\n") << QStringList{"A", "B", "hello", " world"};
        QTest::addRow("old: line breaks in the message")
            << QByteArray("A,B,line 1\r\nline 2,D\r\n") << QStringList{"A", "B", "line 1\r\nline 2", "D\r\n"};
        QTest::addRow("old: one comma only") << QByteArray("A,B\r\n") << QStringList{"A", "B\r\n"};
        QTest::addRow("old: quotes inside fields") << QByteArray("A,\"hi\" there,say \"x\",D\r\n")
                                                   << QStringList{"A", "\"hi\" there", "say \"x\"", "D"};
    }
    void savedMessages()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QStringList, pieces);
        QCOMPARE(Modsavemodule::savedMessagePieces(archive), pieces);
    }

    // Every save reads back exactly as the reader showed it.
    void archiveRecordsReadBack_data()
    {
        QTest::addColumn<QStringList>("shown");
        QTest::addRow("commas everywhere") << QStringList{"a,b", ",", "c,,d", "e,"};
        QTest::addRow("quotes") << QStringList{"\"", "\"\"", "x\"y", "\"z\""};
        QTest::addRow("line ends of every kind") << QStringList{"\r", "\n", "\r\n\r\n", "a\n\rb"};
        QTest::addRow("beyond the code page") << QStringList{"\u00A0", "\u03A9", "\u00FF", "\u20AC"};
        QTest::addRow("empty") << QStringList{"", "", "", ""};
    }
    void archiveRecordsReadBack()
    {
        QFETCH(QStringList, shown);
        const MailFields mail{shown[0], shown[1], shown[2], shown[3]};
        const QByteArray record = Modsavemodule::archiveRecord(mail);
        QVERIFY(record.endsWith("\r\n"));
        // The second save of the same minute does not disturb the first.
        const QByteArray archive = record + Modsavemodule::archiveRecord({"x", "y", "z", "w"});
        QCOMPARE(Modsavemodule::savedMessagePieces(archive), shown);
    }

    // The archive goes into the folder the saved-messages screen browses,
    // a comma in its name included.
    void archiveGoesWhereItIsBrowsed()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("bin"));
        const QString save = root.filePath("save, home");
        QVERIFY(QDir().mkpath(save));
        const SettingFiles files(root.filePath("bin"), root.path());
        QVERIFY(files.writePrintLine(Setting::SaveDir, save));
        const FixedClock clock;
        const MailFields mail{"A", "B, C", "D\rE", "F"};
        const Outcome saved = Modsavemodule(files, clock).saveReceivedMessage(mail);
        QVERIFY2(saved, qPrintable(saved.error()));
        QFile archive(save + "/mail_26-12-07_1405.dat");
        QVERIFY(archive.open(QIODevice::ReadOnly));
        QCOMPARE(archive.readAll(), Modsavemodule::archiveRecord(mail));
    }
};

QTEST_GUILESS_MAIN(TestCsvRecords)
#include "tst_csvrecords.moc"
