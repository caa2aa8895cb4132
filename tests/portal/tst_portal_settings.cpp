#include "PortalStation.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

namespace {

const QString programFolder = QStringLiteral("/opt/tavrix/bin");
const QString userFolder = QStringLiteral("/home/op/.local/share/tavrix/portal/bin");

/// The test program started again in this mode only answers which setting
/// folder the portal would choose for the program folder given.
const char chooseMode[] = "--choose-setting-folder";

QString chosenFolder(const QString &program)
{
    return SettingFolder(program, SettingFolder::userFolder(), SettingFolder::canWriteIn).folder();
}

QStringList filesUnder(const QString &folder)
{
    QStringList found;
    const QDir root(folder);
    for (const QFileInfo &info : root.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (info.isDir()) {
            for (const QString &inner : filesUnder(info.filePath()))
                found.append(info.fileName() + u'/' + inner);
        } else {
            found.append(info.fileName());
        }
    }
    return found;
}

} // namespace

class PortalSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void pathForms_data();
    void pathForms();
    void userFolderIsInTheUsersData();
    void operatorIsToldOnlyWhenMoved();
    void windowKeepsItsFilesInTheChosenFolder_data();
    void windowKeepsItsFilesInTheChosenFolder();
    void realReadOnlyProgramFolder_data();
    void realReadOnlyProgramFolder();
    void failedWriteShowsTheSystemsDescription_data();
    void failedWriteShowsTheSystemsDescription();
};

void PortalSettingsTest::pathForms_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("path");
    const int plain = int(SettingFolder::Form::PlainJoined);
    const int separated = int(SettingFolder::Form::Separated);
    const int backslash = int(SettingFolder::Form::BackslashJoined);
    QTest::addRow("writable, separated") << programFolder << true << "soundsettings.dat" << separated
                                         << "/opt/tavrix/bin/soundsettings.dat";
    QTest::addRow("writable, backslash-joined") << programFolder << true << "listitems.txt" << backslash
                                                << "/opt/tavrix/bin/listitems.txt";
    QTest::addRow("writable, plain-joined lands in the parent") << programFolder << true << "send.dat" << plain
                                                                << "/opt/tavrix/binsend.dat";
    QTest::addRow("read-only, separated") << programFolder << false << "soundsettings.dat" << separated
                                          << userFolder + "/soundsettings.dat";
    QTest::addRow("read-only, backslash-joined") << programFolder << false << "listitems.txt" << backslash
                                                 << userFolder + "/listitems.txt";
    QTest::addRow("read-only, plain-joined lands in the parent") << programFolder << false << "send.dat" << plain
                                                                 << "/home/op/.local/share/tavrix/portal/binsend.dat";
    QTest::addRow("root, separated") << "/" << true << "soundsettings.dat" << separated << "/soundsettings.dat";
    QTest::addRow("root, backslash-joined") << "/" << true << "listitems.txt" << backslash << "//listitems.txt";
    QTest::addRow("root, plain-joined") << "/" << true << "send.dat" << plain << "/send.dat";
}

void PortalSettingsTest::pathForms()
{
    QFETCH(QString, program);
    QFETCH(bool, writable);
    QFETCH(QString, name);
    QFETCH(int, form);
    QFETCH(QString, path);
    QStringList asked;
    const SettingFolder folder(program, userFolder, [&](const QString &checked) {
        asked.append(checked);
        return writable;
    });
    QCOMPARE(asked, QStringList{program});
    QCOMPARE(folder.besideProgram(), writable);
    QCOMPARE(folder.folder(), writable ? program : userFolder);
    QCOMPARE(folder.path(name, SettingFolder::Form(form)), path);
}

void PortalSettingsTest::userFolderIsInTheUsersData()
{
    // main() points the user's data folder at a folder of the test's own.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    QVERIFY(!data.isEmpty());
    QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), data);
    QCOMPARE(SettingFolder::userFolder(), data + QStringLiteral("/tavrix/portal/bin"));
}

void PortalSettingsTest::operatorIsToldOnlyWhenMoved()
{
    const SettingFolder beside(programFolder, userFolder, [](const QString &) { return true; });
    QCOMPARE(beside.notice(), QString());
    const SettingFolder moved(programFolder, userFolder, [](const QString &) { return false; });
    QVERIFY2(moved.notice().contains(programFolder) && moved.notice().contains(userFolder), qPrintable(moved.notice()));
}

void PortalSettingsTest::windowKeepsItsFilesInTheChosenFolder_data()
{
    QTest::addColumn<bool>("writable");
    QTest::addRow("program folder writable") << true;
    QTest::addRow("program folder read-only") << false;
}

void PortalSettingsTest::windowKeepsItsFilesInTheChosenFolder()
{
    QFETCH(bool, writable);
    PortalStation station(0, 0);
    station.programFolderWritable = writable;
    station.start();
    // Nothing is made before the first write.
    QVERIFY(!QFileInfo::exists(station.userFolder()));
    station.find<QLineEdit>("Text1")->setText(QStringLiteral("K1-10.0.0.1"));
    station.click("Commandadd");
    station.find<QCheckBox>("Chksoundtoggle")->click();
    QVERIFY(station.prompter.texts.isEmpty());
    QVERIFY2(!station.text("Txtlogrecv").contains(QStringLiteral("cannot be written")), qPrintable(station.text("Txtlogrecv")));

    const QStringList both{"listitems.txt", "soundsettings.dat"};
    QCOMPARE(filesUnder(station.setup.programDirectory), writable ? both : QStringList());
    QCOMPARE(filesUnder(station.userFolder()), writable ? QStringList() : both);
    QVERIFY(QFileInfo::exists(station.userFolder()) != writable);
    const QString used = writable ? station.setup.programDirectory : station.userFolder();
    QFile list(QDir(used).filePath(QStringLiteral("listitems.txt")));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), QByteArray("K1-10.0.0.1\r\n"));

    // The next start reads the list back from the same place.
    station.window.reset();
    station.start();
    QCOMPARE(station.find<QListWidget>("List1")->count(), 1);
}

void PortalSettingsTest::realReadOnlyProgramFolder_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addRow("writable folder") << false;
    QTest::addRow("read-only bind mount") << true;
}

void PortalSettingsTest::realReadOnlyProgramFolder()
{
    QFETCH(bool, readOnly);
    QTemporaryDir program;
    const QString self = QCoreApplication::applicationFilePath();
    QProcess child;
    if (readOnly) {
        // Root writes through mode bits, so the folder is made read-only by a
        // bind mount in a mount namespace of the child's own.
        const QString script = QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,ro,bind \"$1\" && "
                                              "exec \"$0\" %1 \"$1\"")
                                   .arg(QLatin1String(chooseMode));
        child.start(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("--propagation"),
                                                QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                script, self, program.path()});
    } else {
        child.start(self, {QLatin1String(chooseMode), program.path()});
    }
    QVERIFY(child.waitForFinished(20000));
    const QString chosen = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
    if (readOnly && chosen.isEmpty())
        QSKIP(qPrintable(QStringLiteral("no mount namespace here: ") + QString::fromLocal8Bit(child.readAllStandardError())));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(chosen, readOnly ? SettingFolder::userFolder() : program.path());
    // Outside the child's namespace the folder stays writable.
    QVERIFY(SettingFolder::canWriteIn(program.path()));
}

void PortalSettingsTest::failedWriteShowsTheSystemsDescription_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("action");
    QTest::addRow("sound setting") << "sound" << "Chksoundtoggle";
    QTest::addRow("station added") << "stations" << "Commandadd";
    QTest::addRow("station deleted") << "stations" << "Commanddelete";
}

void PortalSettingsTest::failedWriteShowsTheSystemsDescription()
{
    QFETCH(QString, file);
    QFETCH(QString, action);
    PortalStation station(0, 0);
    station.desktop.muteFailure = QStringLiteral("no mixer");
    station.start();
    const bool sound = file == u"sound";
    const QString path = sound ? station.soundSettingPath() : station.stationListPath();
    if (action == u"Commanddelete") {
        station.find<QLineEdit>("Text1")->setText(QStringLiteral("A-10.0.0.1"));
        station.click("Commandadd");
        QCOMPARE(station.prompter.texts, QStringList());
        station.find<QListWidget>("List1")->setCurrentRow(0);
    }
    // A folder where the file should be: the system refuses the write.
    QFile::remove(path);
    QVERIFY(QDir().mkpath(path));
    // What Qt reports for the same write: the sound setting and the whole
    // list go through a save file, an added station is appended.
    QFile same(path);
    QSaveFile sameSaved(path);
    const bool whole = sound || action == u"Commanddelete";
    QVERIFY(whole ? !sameSaved.open(QIODevice::WriteOnly) : !same.open(QIODevice::WriteOnly | QIODevice::Append));
    const QString description = whole ? sameSaved.errorString() : same.errorString();
    QVERIFY(!description.isEmpty());

    if (sound) {
        station.find<QCheckBox>("Chksoundtoggle")->click();
    } else {
        station.find<QLineEdit>("Text1")->setText(QStringLiteral("B-10.0.0.2"));
        station.click(action.toLatin1().constData());
    }
    const QString shown = sound ? station.text("Txtlogrecv") : station.prompter.texts.join(u'\n');
    const QString expected = QDir::toNativeSeparators(path) + QStringLiteral(": ");
    QVERIFY2(shown.contains(expected + description), qPrintable(shown));
    // The line about the missing mixer must not claim the failed save.
    if (sound)
        QVERIFY2(!shown.contains(QStringLiteral("saved all the same")), qPrintable(shown));
    QVERIFY(QFileInfo(path).isDir());
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], chooseMode) == 0) {
        std::puts(chosenFolder(QString::fromLocal8Bit(argv[2])).toLocal8Bit().constData());
        return 0;
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication app(argc, argv);
    PortalSettingsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_settings.moc"
