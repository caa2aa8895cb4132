#include "shell/Modsoundcontrol.h"
#include "TestFiles.h"
#include "shell/RegularFile.h"
#include "shell/SettingFiles.h"
#include "TestDesk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

class TestSettingFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString dir(const QString &name) const
    {
        const QString path = m_root.path() + u'/' + name;
        QDir().mkpath(path);
        return path;
    }
    static QByteArray contents(const QString &path) { return TestFiles::read(path, "<missing>"); }

private slots:
    void pathForms_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        const int plain = int(PathForm::PlainJoined), separated = int(PathForm::Separated),
                  backslash = int(PathForm::BackslashJoined);
        QTest::addRow("plain-joined has no separator") << "/radio/desk" << plain << "send.dat" << "/radio/desksend.dat";
        QTest::addRow("plain-joined at the root") << "/" << plain << "send.dat" << "/send.dat";
        QTest::addRow("separated adds one") << "/radio/desk" << separated << "soundsettings.dat"
                                            << "/radio/desk/soundsettings.dat";
        QTest::addRow("separated at the root adds none") << "/" << separated << "soundsettings.dat"
                                                         << "/soundsettings.dat";
        QTest::addRow("backslash-joined") << "/radio/desk" << backslash << "soundstate.dat"
                                          << "/radio/desk/soundstate.dat";
        QTest::addRow("backslash-joined at the root doubles") << "/" << backslash << "soundstate.dat"
                                                              << "//soundstate.dat";
        QTest::addRow("names fold to lower case") << "/Radio/Desk" << plain << "VARA.DAT" << "/Radio/Deskvara.dat";
    }
    void pathForms()
    {
        QFETCH(QString, programDir);
        QFETCH(int, form);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QByteArray latin = name.toLatin1();
        const SettingFiles files(programDir, QStringLiteral("/work"));
        QCOMPARE(files.path({latin.constData(), PathForm(form)}), expected);
    }

    void relativeNamesLieInTheWorkingDirectory()
    {
        const SettingFiles files(dir("prog"), dir("cwd"));
        QCOMPARE(files.path(Setting::MailHandOver), dir("cwd") + QStringLiteral("/mail.dat"));
        // The two "temp" files are different files.
        QVERIFY(files.path(Setting::AttachmentHandOver) != files.path(Setting::SavedMessageHandOver));
    }

    void writeForms_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("expected");
        QTest::addRow("print line text") << 0 << QByteArray("C:\\mail send\r\n");
        QTest::addRow("print line true") << 1 << QByteArray("True\r\n");
        QTest::addRow("print line false") << 2 << QByteArray("False\r\n");
        QTest::addRow("record number") << 3 << QByteArray("1\r\n");
        QTest::addRow("record true") << 4 << QByteArray("#TRUE#\r\n");
        QTest::addRow("record false") << 5 << QByteArray("#FALSE#\r\n");
        QTest::addRow("record text is quoted") << 6 << QByteArray("\"a, b\"\r\n");
    }
    void writeForms()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, expected);
        const SettingFiles files(dir("write"), dir("cwd"));
        const SettingFile file = Setting::SendDir;
        // Writing again empties the file first.
        QVERIFY(files.writePrintLine(file, QStringLiteral("a much longer value than any of the expected ones")));
        Outcome written;
        switch (kind) {
        case 0: written = files.writePrintLine(file, QStringLiteral("C:\\mail send")); break;
        case 1: written = files.writePrintLine(file, true); break;
        case 2: written = files.writePrintLine(file, false); break;
        case 3: written = files.writeRecord(file, 1); break;
        case 4: written = files.writeRecord(file, true); break;
        case 5: written = files.writeRecord(file, false); break;
        case 6: written = files.writeRecord(file, QStringLiteral("a, b")); break;
        }
        QVERIFY2(written, qPrintable(written.error()));
        QCOMPARE(contents(files.path(file)), expected);
    }

    void readForms_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("field");
        QTest::addRow("a comma cuts the field only") << QByteArray("/home/op/mail, sent\r\n") << "/home/op/mail, sent"
                                                     << "/home/op/mail";
        QTest::addRow("blank") << QByteArray("blank\r\n") << "blank" << "blank";
        QTest::addRow("spaces are trimmed from a field") << QByteArray("  1  \r\n") << "  1  " << "1";
        QTest::addRow("quotes come off") << QByteArray("\"a, b\"\r\n") << "\"a, b\"" << "a, b";
        QTest::addRow("only the first line") << QByteArray("first\r\nsecond\r\n") << "first" << "first";
        QTest::addRow("no line end") << QByteArray("ON") << "ON" << "ON";
        QTest::addRow("empty file") << QByteArray() << "" << "";
    }
    void readForms()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, line);
        QFETCH(QString, field);
        const SettingFiles files(dir("read"), dir("cwd"));
        QFile out(files.path(Setting::SaveDir));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content);
        out.close();
        QCOMPARE(files.readLine(Setting::SaveDir).value(), line);
        QCOMPARE(files.readField(Setting::SaveDir).value(), field);
    }

    void conversions_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("truth"); // -1: not a truth value
        QTest::addColumn<int>("number"); // -99: not a number
        QTest::addRow("#TRUE#") << "#TRUE#" << 1 << -1;
        QTest::addRow("#FALSE#") << "#FALSE#" << 0 << 0;
        QTest::addRow("True") << "True" << 1 << -99;
        QTest::addRow("false") << "false" << 0 << -99;
        QTest::addRow("1") << "1" << 1 << 1;
        QTest::addRow("0") << "0" << 0 << 0;
        QTest::addRow("2") << "2" << 1 << 2;
        QTest::addRow("word") << "maybe" << -1 << -99;
        QTest::addRow("empty") << "" << -1 << -99;
    }
    void conversions()
    {
        QFETCH(QString, field);
        QFETCH(int, truth);
        QFETCH(int, number);
        const auto asTruth = SettingFiles::toTruth(field);
        QCOMPARE(asTruth.has_value(), truth >= 0);
        if (asTruth)
            QCOMPARE(int(*asTruth), truth);
        const auto asNumber = SettingFiles::toNumber(field);
        QCOMPARE(asNumber.has_value(), number != -99);
        if (asNumber)
            QCOMPARE(*asNumber, number);
    }

    void letterCaseVariantsMeet()
    {
        const SettingFiles files(dir("case"), dir("cwd"));
        // Written as "VARA.DAT" by the directory setup, read as "VARA.dat" by the launcher.
        QVERIFY(files.writePrintLine({"VARA.DAT", PathForm::PlainJoined}, QStringLiteral("/opt/varac/VarAC.exe")));
        QCOMPARE(files.readField({"VARA.dat", PathForm::PlainJoined}).value(), QStringLiteral("/opt/varac/VarAC.exe"));
        QCOMPARE(files.readField(Setting::VarAc).value(), QStringLiteral("/opt/varac/VarAC.exe"));
        // The auto-save switch is written separated and read backslash-joined: one file.
        QVERIFY(files.writeRecord(Setting::AutoSaveStore, 1));
        QCOMPARE(files.readLine(Setting::AutoSaveLoad).value(), QStringLiteral("1"));
    }

    // Something other than a regular file in a setting file's place (put
    // there by hand, by another program, or swapped in) is never read and
    // never waited on; the reason names the file and what it found there.
    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("words");
        QTest::addRow("FIFO") << "FIFO" << "is a FIFO (named pipe), not a regular file";
        QTest::addRow("socket") << "socket" << "is a socket, not a regular file";
        QTest::addRow("folder") << "folder" << "is a folder, not a regular file";
        QTest::addRow("link to a FIFO") << "link to a FIFO" << "is a FIFO (named pipe), not a regular file";
        QTest::addRow("device") << "device" << "is a device, not a regular file";
        QTest::addRow("missing") << "missing" << "is missing";
    }
    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, kind);
        QFETCH(QString, words);
        QTemporaryDir root;
        const SettingFiles files(root.filePath("bin"), root.filePath("cwd"));
        const QString path = files.path(Setting::ReceiveDir);
        const QByteArray native = QFile::encodeName(path);
        if (kind == "FIFO") {
            QCOMPARE(::mkfifo(native.constData(), 0644), 0);
        } else if (kind == "socket") {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            QVERIFY(fd >= 0 && size_t(native.size()) < sizeof address.sun_path);
            std::copy(native.cbegin(), native.cend(), address.sun_path);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ::close(fd);
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "link to a FIFO") {
            const QByteArray target = QFile::encodeName(root.filePath("pipe"));
            QCOMPARE(::mkfifo(target.constData(), 0644), 0);
            QCOMPARE(::symlink(target.constData(), native.constData()), 0);
        } else if (kind == "device") {
            QCOMPARE(::symlink("/dev/zero", native.constData()), 0);
        }
        const Result<QString> line = files.readFirstLine(Setting::ReceiveDir);
        QVERIFY(!line);
        QVERIFY2(line.error().contains(words), qPrintable(line.error()));
        QVERIFY2(line.error().contains(QDir::toNativeSeparators(path)), qPrintable(line.error()));
        QVERIFY(!files.readLine(Setting::ReceiveDir));
        QVERIFY(!files.readTruth(Setting::ReceiveDir));
        if (kind == "FIFO" || kind == "socket") {
            // Emptying it (as a hand-over file is emptied) neither waits nor pretends.
            const Outcome cleared = files.clear(Setting::ReceiveDir);
            QVERIFY2(!cleared && cleared.error().contains(words), qPrintable(cleared.error()));
        }
    }

    // A setting is a path or a word: the first line is read up to a bound,
    // never whole, so a huge file costs nothing and reads as no setting.
    void theFirstLineIsBounded_data()
    {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<bool>("read");
        const qsizetype bound = SettingFiles::maxLineBytes;
        QTest::addRow("at the bound, CR LF") << bound << QByteArray("\r\nnext\r\n") << true;
        QTest::addRow("at the bound, no line end") << bound << QByteArray() << true;
        QTest::addRow("one past, CR LF") << bound + 1 << QByteArray("\r\n") << false;
        QTest::addRow("one past, no line end") << bound + 1 << QByteArray() << false;
        QTest::addRow("far past") << 64 * bound << QByteArray("\r\n") << false;
    }
    void theFirstLineIsBounded()
    {
        QFETCH(qsizetype, length);
        QFETCH(QByteArray, ending);
        QFETCH(bool, read);
        QTemporaryDir root;
        const SettingFiles files(root.filePath("bin"), root.filePath("cwd"));
        const QByteArray line(length, 'x');
        writeFile(files.path(Setting::SendDir), line + ending);
        const Result<QString> got = files.readFirstLine(Setting::SendDir);
        QCOMPARE(got.ok(), read);
        if (read)
            QCOMPARE(got->size(), length);
        else
            QVERIFY2(got.error().contains(QStringLiteral("longer than %1 bytes").arg(SettingFiles::maxLineBytes))
                         && got.error().contains(QDir::toNativeSeparators(files.path(Setting::SendDir))),
                     qPrintable(got.error()));
    }

    // A file opened through the check keeps its name, which every later
    // message about it needs, and reads or writes the file itself.
    void aCheckedFileKeepsItsName_data()
    {
        QTest::addColumn<bool>("forWriting");
        QTest::addRow("reading") << false;
        QTest::addRow("appending") << true;
    }
    void aCheckedFileKeepsItsName()
    {
        QFETCH(bool, forWriting);
        QTemporaryDir root;
        const QString path = root.filePath("kept.dat");
        writeFile(path, "first\r\n");
        QFile file(path);
        const Outcome opened = forWriting ? RegularFile::openForWriting(file, QIODevice::WriteOnly | QIODevice::Append)
                                          : RegularFile::openForReading(file);
        QVERIFY2(opened, qPrintable(opened.error()));
        QCOMPARE(file.fileName(), path);
        if (forWriting) {
            QCOMPARE(file.write("second\r\n"), qint64(8));
            file.close();
            QCOMPARE(contents(path), QByteArray("first\r\nsecond\r\n"));
        } else {
            QCOMPARE(file.readAll(), QByteArray("first\r\n"));
        }
    }

    // A file of gigabytes without a line end: a sparse one, so the test
    // itself writes nothing; a read that took it whole would not end soon.
    void aHugeOneLineFileIsNotReadWhole()
    {
        QTemporaryDir root;
        const SettingFiles files(root.filePath("bin"), root.filePath("cwd"));
        QFile huge(files.path(Setting::SendDir));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(3) * 1024 * 1024 * 1024));
        huge.close();
        QVERIFY(!files.readLine(Setting::SendDir));
    }

    // A value that would not read back is not written, and what was stored stays.
    void aValueLongerThanTheBoundIsNotWritten()
    {
        QTemporaryDir root;
        const SettingFiles files(root.filePath("bin"), root.filePath("cwd"));
        QVERIFY(files.writePrintLine(Setting::SendDir, QStringLiteral("/home/op/mail send")));
        const Outcome written = files.writePrintLine(Setting::SendDir, QString(SettingFiles::maxLineBytes + 1, u'x'));
        QVERIFY(!written);
        QVERIFY2(written.error().contains(QDir::toNativeSeparators(files.path(Setting::SendDir))), qPrintable(written.error()));
        QCOMPARE(files.readLine(Setting::SendDir).value(), QStringLiteral("/home/op/mail send"));
        QVERIFY(files.writePrintLine(Setting::SendDir, QString(SettingFiles::maxLineBytes, u'x')));
        QCOMPARE(files.readLine(Setting::SendDir)->size(), SettingFiles::maxLineBytes);
    }

    void missingFilesReadAsNothing()
    {
        const SettingFiles files(dir("missing"), dir("cwd"));
        QVERIFY(!files.exists(Setting::SendDir));
        QVERIFY(!files.readLine(Setting::SendDir));
        QVERIFY(!files.readField(Setting::SendDir));
        QVERIFY(!files.readTruth(Setting::WinTncButton));
    }

    void writingIntoAMissingDirectoryFails()
    {
        const SettingFiles files(m_root.path() + QStringLiteral("/no/such/dir/"), dir("cwd"));
        QVERIFY(!files.writePrintLine(Setting::SendDir, QStringLiteral("x")));
    }

    // Every writer hands on the system's own reason and the native path,
    // for the failures that stop even root.
    void failedWritesSayWhy_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<QString>("how");
        const char *writers[] = {"print line", "truth as print line", "record", "number record", "truth record",
                                 "whole bytes", "clearing"};
        for (const char *how : {"folder in its place", "its folder is a file"})
            for (int i = 0; i < int(std::size(writers)); ++i)
                QTest::addRow("%s, %s", writers[i], how) << i << QString::fromLatin1(how);
    }
    void failedWritesSayWhy()
    {
        QFETCH(int, writer);
        QFETCH(QString, how);
        QTemporaryDir root;
        const SettingFiles files(root.filePath("bin"), root.filePath("cwd"));
        const SettingFile file = Setting::SoundState; // inside the program's folder
        QVERIFY(blockWritesAt(files.path(file), how));
        Outcome written;
        switch (writer) {
        case 0: written = files.writePrintLine(file, QStringLiteral("ON")); break;
        case 1: written = files.writePrintLine(file, true); break;
        case 2: written = files.writeRecord(file, QStringLiteral("x")); break;
        case 3: written = files.writeRecord(file, 1); break;
        case 4: written = files.writeRecord(file, false); break;
        case 5: written = files.writeBytes(file, "bytes"); break;
        case 6: written = files.clear(file); break;
        }
        QVERIFY(!written);
        if (writer == 6) {
            // Emptying opens the file itself, so the plain file's words apply.
            QFile plain(files.path(file));
            QVERIFY(!plain.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY2(written.error().contains(plain.errorString()), qPrintable(written.error()));
            QVERIFY2(written.error().contains(QDir::toNativeSeparators(files.path(file))), qPrintable(written.error()));
        } else {
            QVERIFY2(namesRefusal(written.error(), files.path(file)), qPrintable(written.error()));
        }
    }

    void soundSwitch_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<none>": no file
        QTest::addColumn<bool>("on");
        QTest::addRow("no file means on") << QByteArray("<none>") << true;
        QTest::addRow("1 is on") << QByteArray("1\r\n") << true;
        QTest::addRow("0 is off") << QByteArray("0\r\n") << false;
        QTest::addRow("2 is off: only 1 means on") << QByteArray("2\r\n") << false;
        QTest::addRow("unreadable counts as on") << QByteArray("garbage\r\n") << true;
    }
    void soundSwitch()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, on);
        const SettingFiles files(dir(QString::fromLatin1(QTest::currentDataTag())), dir("cwd"));
        if (content != "<none>") {
            QFile out(files.path(Setting::SoundSettings));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        QCOMPARE(Modsoundcontrol(files).isSoundOn(), on);
    }

    void soundSwitchStoresARecord()
    {
        const SettingFiles files(dir("store"), dir("cwd"));
        const Modsoundcontrol sound(files);
        QVERIFY(sound.storeSoundSetting(false));
        QCOMPARE(contents(files.path(Setting::SoundSettings)), QByteArray("0\r\n"));
        QVERIFY(!sound.isSoundOn());
        QVERIFY(sound.storeSoundSetting(true));
        QCOMPARE(contents(files.path(Setting::SoundSettings)), QByteArray("1\r\n"));
        QVERIFY(sound.isSoundOn());
    }
};

QTEST_GUILESS_MAIN(TestSettingFiles)
#include "tst_settingfiles.moc"
