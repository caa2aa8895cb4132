#include "compose/MessageFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTest>

using MessageFile::Kind;

class TestMessageFile : public QObject
{
    Q_OBJECT

private slots:
    void mailRecordLine_data()
    {
        QTest::addColumn<QStringList>("boxes"); // To, Subject, Message, From
        QTest::addColumn<QByteArray>("line");
        QTest::addRow("example")
            << QStringList{"To: AB", "Subject: X", "Your Message: Hi", "From- C"}
            << QByteArray("84 79 58 32 65 66,83 85 66 74 69 67 84 58 32 88,"
                          "89 79 85 82 32 77 69 83 83 65 71 69 58 32 72 73,70 82 79 77 45 32 67\r\n");
        QTest::addRow("every box empty") << QStringList{"", "", "", ""} << QByteArray(",,,\r\n");
        QTest::addRow("one box empty") << QStringList{"a", "", "b", "c"} << QByteArray("65,,66,67\r\n");
        QTest::addRow("line break in the message")
            << QStringList{"", "", "a\r\nb", ""} << QByteArray(",,65 13 10 66,\r\n");
        QTest::addRow("comma in a box cannot split the record")
            << QStringList{"a,b", "", "", ""} << QByteArray("65 44 66,,,\r\n");
        QTest::addRow("outside the code page") << QStringList{"\u03A9", "", "", ""} << QByteArray("63,,,\r\n");
        QTest::addRow("accented letters raised") << QStringList{"\u00E9", "", "", ""} << QByteArray("201,,,\r\n");
        // Upper-casing stays inside the code page: a letter whose capital
        // the code page lacks (or that has none of its own) is kept.
        QTest::addRow("y diaeresis raised to its capital at 159")
            << QStringList{"\u00FF", "", "", ""} << QByteArray("159,,,\r\n");
        QTest::addRow("s caron and oe raised") << QStringList{"\u0161\u0153\u017E", "", "", ""}
                                               << QByteArray("138 140 142,,,\r\n");
        QTest::addRow("sharp s kept, not doubled") << QStringList{"stra\u00DFe", "", "", ""}
                                                   << QByteArray("83 84 82 65 223 69,,,\r\n");
        QTest::addRow("micro sign kept, not lost") << QStringList{"5 \u00B5m", "", "", ""}
                                                   << QByteArray("53 32 181 77,,,\r\n");
        QTest::addRow("dotless i raised into the code page") << QStringList{"\u0131", "", "", ""}
                                                             << QByteArray("73,,,\r\n");
        QTest::addRow("Greek small letter still a question mark") << QStringList{"\u03C9", "", "", ""}
                                                                  << QByteArray("63,,,\r\n");
    }
    void mailRecordLine()
    {
        QFETCH(QStringList, boxes);
        QFETCH(QByteArray, line);
        QCOMPARE(MessageFile::mailRecordLine(boxes[0], boxes[1], boxes[2], boxes[3]), line);
    }

    void parseMail_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("fields"); // To, Subject, Message, From
        QTest::addRow("example record")
            << QStringLiteral("84 79 58 32 65 66,83 85 66 74 69 67 84 58 32 88,"
                              "89 79 85 82 32 77 69 83 83 65 71 69 58 32 72 73,70 82 79 77 45 32 67\r\n")
            << true << QStringList{"TO: AB", "SUBJECT: X", "YOUR MESSAGE: HI", "FROM- C"};
        QTest::addRow("four pieces without line end") << QStringLiteral("65,66,67,68") << true
                                                      << QStringList{"A", "B", "C", "D"};
        QTest::addRow("every field empty") << QStringLiteral(",,,\r\n") << true << QStringList{"", "", "", ""};
        QTest::addRow("five pieces, the fifth ignored") << QStringLiteral("65,66,67,68,69\r\n") << true
                                                        << QStringList{"A", "B", "C", "D"};
        QTest::addRow("two records in one file")
            << QStringLiteral("65,66,67,68\r\n69,70,71,72\r\n") << true << QStringList{"A", "B", "C", ""};
        QTest::addRow("three pieces refused") << QStringLiteral("65,66,67\r\n") << false << QStringList{};
        QTest::addRow("no comma refused") << QStringLiteral("65 66 67") << false << QStringList{};
        QTest::addRow("empty file refused") << QString() << false << QStringList{};
    }
    void parseMail()
    {
        QFETCH(QString, content);
        QFETCH(bool, accepted);
        QFETCH(QStringList, fields);
        const auto mail = MessageFile::parseMail(content);
        QCOMPARE(bool(mail), accepted);
        if (!mail)
            return;
        QCOMPARE((QStringList{mail->to, mail->subject, mail->message, mail->from}), fields);
    }

    void recordReadsBackUpperCased()
    {
        const QByteArray line = MessageFile::mailRecordLine(QStringLiteral("To: dl1abc"), QStringLiteral("Subject: a, b"),
                                                            QStringLiteral("Line 1\r\nLine 2 \u00e4"),
                                                            QStringLiteral("From- k7x"));
        const auto mail = MessageFile::parseMail(QString::fromLatin1(line));
        QVERIFY(mail);
        QCOMPARE(mail->to, QStringLiteral("TO: DL1ABC"));
        QCOMPARE(mail->subject, QStringLiteral("SUBJECT: A, B"));
        QCOMPARE(mail->message, QStringLiteral("LINE 1\r\nLINE 2 \u00c4"));
        QCOMPARE(mail->from, QStringLiteral("FROM- K7X"));
    }

    void names_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("longStamp");
        QTest::addColumn<QString>("shortStamp");
        QTest::addRow("example") << QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)) << "14-05-09--12-07-26" << "140509";
        QTest::addRow("midnight, first of January") << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0))
                                                     << "00-00-00--01-01-00" << "000000";
        QTest::addRow("last second of a century year") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))
                                                        << "23-59-59--12-31-99" << "235959";
        QTest::addRow("one in the afternoon") << QDateTime(QDate(2031, 7, 4), QTime(13, 1, 2)) << "13-01-02--07-04-31"
                                               << "130102";
    }
    void names()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, longStamp);
        QFETCH(QString, shortStamp);
        // The stamps must not follow the operator's locale (its digits, its
        // 12-hour clock).
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        const QString longName = MessageFile::longStamp(time);
        const QString shortName = MessageFile::shortStamp(time);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString longNameUs = MessageFile::longStamp(time);
        QLocale::setDefault(before);
        QCOMPARE(longName, longStamp);
        QCOMPARE(longNameUs, longStamp);
        QCOMPARE(shortName, shortStamp);
        QCOMPARE(MessageFile::mailFileName(QStringLiteral("From- dl1abc"), time),
                 QStringLiteral("MAIL - From- dl1abc--") + longStamp + QStringLiteral(".dat"));
        QCOMPARE(MessageFile::mailFileName(QStringLiteral("From-"), time),
                 QStringLiteral("MAIL - From---") + longStamp + QStringLiteral(".dat"));
        QCOMPARE(MessageFile::replyFileName(time), QStringLiteral("MAIL - ") + shortStamp + QStringLiteral(".txt"));
        QCOMPARE(MessageFile::attachmentFileName(time), QStringLiteral("File - ") + longStamp + QStringLiteral(".txt"));
    }

    void classify_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<Kind>("kind");
        QTest::addRow("mail by name") << QByteArray("84 79,,,\r\n") << "MAIL - 140509.txt" << Kind::Mail;
        QTest::addRow("mail by lower-case name") << QByteArray("") << "mail - 140509.txt" << Kind::Mail;
        QTest::addRow("file by name") << QByteArray("QUJD\r\n") << "File - 14-05-09--12-07-26.txt" << Kind::Attachment;
        QTest::addRow("file by content") << QByteArray("a profile b") << "x.txt" << Kind::Attachment;
        QTest::addRow("file by lower-case content") << QByteArray("fiLE") << "x.txt" << Kind::Attachment;
        QTest::addRow("mail by content wins over a File name") << QByteArray("xx mAiL") << "File - 1.txt" << Kind::Mail;
        QTest::addRow("mail word at the very end") << QByteArray("0123MAIL") << "x" << Kind::Mail;
        QTest::addRow("mail word cut at the end") << QByteArray("0123MAI") << "x" << Kind::Unrecognized;
        QTest::addRow("mail word split by a byte") << QByteArray("MA\nIL") << "x" << Kind::Unrecognized;
        QTest::addRow("neither") << QByteArray("72 73,,,\r\n") << "notes.txt" << Kind::Unrecognized;
        QTest::addRow("empty file, plain name") << QByteArray() << "x" << Kind::Unrecognized;
        QTest::addRow("accented capitals are other letters") << QByteArray("\xCD\xC1\xC9\xCC \xC6\xC9\xCC\xC5") << "x"
                                                            << Kind::Unrecognized;
        QTest::addRow("accented small letters are other letters") << QByteArray("\xED\xE1\xE9\xEC \xE6\xE9\xEC\xE5")
                                                                 << "x" << Kind::Unrecognized;
        QTest::addRow("control bytes are not letters") << QByteArray("\x0D\x01\x09\x0C \x06\x09\x0C\x05") << "x"
                                                       << Kind::Unrecognized;
        // Qt's own encoder as the oracle: Base64 text that spells "mAiL"
        // inside an attachment message makes it look like mail.
        QTest::addRow("attachment whose Base64 holds mail")
            << QByteArray::fromBase64("QUJDmAiLREVG").toBase64() + "\r\n" << "File - 14-05-09--12-07-26.txt"
            << Kind::Mail;
    }
    void classify()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFETCH(Kind, kind);
        QCOMPARE(MessageFile::classify(content, name), kind);
    }

    void fileNamePart_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addRow("windows path") << "C:\\Users\\op\\report.pdf" << "report.pdf";
        QTest::addRow("unix path") << "/home/op/a b.txt" << "a b.txt";
        QTest::addRow("mixed separators") << "a\\b/c.txt" << "c.txt";
        QTest::addRow("no separator") << "report.pdf" << "report.pdf";
        QTest::addRow("ends in a separator") << "C:\\dir\\" << "";
        QTest::addRow("empty") << "" << "";
    }
    void fileNamePart()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(MessageFile::fileNamePart(path), name);
    }

    void safeFileName_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("kept"); // a null string: only the rules below are checked
        QTest::addRow("plain name") << "report.pdf" << "report.pdf";
        QTest::addRow("name with blanks and accents") << "Bericht \u00fcber X.txt" << "Bericht \u00fcber X.txt";
        QTest::addRow("parent folders, unix") << "../../x" << "x";
        QTest::addRow("parent folders, windows") << "..\\..\\x" << "x";
        QTest::addRow("drive and root") << "C:\\x" << "x";
        QTest::addRow("drive without separator") << "C:x" << "x";
        QTest::addRow("absolute unix path") << "/etc/x" << "x";
        QTest::addRow("mixed separators") << "a\\b/c.txt" << "c.txt";
        QTest::addRow("dot dot") << ".." << "";
        QTest::addRow("single dot") << "." << "";
        QTest::addRow("three dots") << "..." << QString();
        QTest::addRow("dot dot with blanks") << " .. " << "";
        QTest::addRow("ends in dot dot") << "a/.." << "";
        QTest::addRow("empty") << "" << "";
        QTest::addRow("separator only") << "/" << "";
        QTest::addRow("control characters") << "a\x01" "b\nc\t.txt" << "abc.txt";
        QTest::addRow("DEL") << "a\x7f" "b.txt" << "ab.txt";
        QTest::addRow("C1 controls of the code page") << "a\u0081b\u008Dc\u009D.txt" << "abc.txt";
        QTest::addRow("colon of a stream name") << "x.txt:evil" << QString();
        QTest::addRow("hidden name") << "..profile" << QString();
        QTest::addRow("blank behind leading dots") << ".\\C:evil/. - 580968.txt" << "- 580968.txt";
    }
    void safeFileName()
    {
        QFETCH(QString, sent);
        QFETCH(QString, kept);
        const QString name = MessageFile::safeFileName(sent);
        if (!kept.isNull())
            QCOMPARE(name, kept);
        QVERIFY(!name.contains(u'/'));
        QVERIFY(!name.contains(u'\\'));
        QVERIFY(!name.contains(u':'));
        QVERIFY(name != u"." && name != u"..");
        for (const QChar c : name)
            QVERIFY2(c.category() != QChar::Other_Control, qPrintable(QString::number(c.unicode(), 16)));
        if (!name.isEmpty()) {
            // Joined to a folder, the name stays inside it.
            const QString folder = QStringLiteral("/srv/tavrix/bin");
            QCOMPARE(QFileInfo(QDir::cleanPath(folder + u'/' + name)).path(), folder);
        }
    }
};

QTEST_GUILESS_MAIN(TestMessageFile)
#include "tst_messagefile.moc"
