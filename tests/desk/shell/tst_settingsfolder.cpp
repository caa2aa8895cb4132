#include "TestDesk.h"
#include "shell/FrSettings.h"
#include "shell/MainMenu.h"
#include "shell/SettingFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Makes `path` really read-only for this process, or says why it cannot.
/// Root ignores mode bits, so root gets a read-only bind mount in a mount
/// namespace of this process's own; anyone else gets mode 555.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(QString path)
        : m_path(std::move(path))
    {
        const QByteArray native = QFile::encodeName(m_path);
        if (geteuid() != 0) {
            if (chmod(native.constData(), 0555) == 0)
                m_chmodded = true;
            else
                m_why = QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        static bool ownNamespace = false;
        if (!ownNamespace) {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                m_why = QStringLiteral("no mount namespace: ") + QString::fromLocal8Bit(std::strerror(errno));
                return;
            }
            ownNamespace = true;
        }
        if (mount(native.constData(), native.constData(), nullptr, MS_BIND, nullptr) != 0) {
            m_why = QStringLiteral("no bind mount: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        m_mounted = true;
        if (mount(nullptr, native.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            m_why = QStringLiteral("no read-only remount: ") + QString::fromLocal8Bit(std::strerror(errno));
    }
    ~ReadOnlyFolder()
    {
        const QByteArray native = QFile::encodeName(m_path);
        if (m_mounted)
            umount2(native.constData(), MNT_DETACH);
        if (m_chmodded)
            chmod(native.constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    /// Empty when the folder is read-only now.
    QString whyNot() const { return m_why; }

private:
    QString m_path;
    QString m_why;
    bool m_mounted = false;
    bool m_chmodded = false;
};

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

/// A desk on fakes whose setting files start from `home`.
struct HomedDesk {
    explicit HomedDesk(SettingsHome home, const QString &workingDir)
        : files(std::move(home), workingDir)
        , context{files, prompter, speaker, desktop, processes, filePicker, clock, navigator, [] {}}
    {
        navigator.setContext(context);
    }
    FakePrompter prompter;
    FakeSpeaker speaker;
    FakeDesktop desktop;
    FakeProcesses processes;
    FakeFilePicker filePicker;
    FakeClock clock;
    SettingFiles files;
    Navigator navigator;
    DeskContext context;
};

} // namespace

class TestSettingsFolder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    int m_case = 0;

    /// A fresh station: a program folder inside an install folder, and a
    /// per-user folder that does not exist yet.
    struct Layout {
        QString install, program, perUserBase, perUser, working;
    };
    Layout freshLayout()
    {
        const QString base = m_root.path() + QStringLiteral("/case%1").arg(++m_case);
        Layout layout{base + QStringLiteral("/opt"), base + QStringLiteral("/opt/bin"),
                      base + QStringLiteral("/home/share/tavrix/desk"),
                      base + QStringLiteral("/home/share/tavrix/desk/bin"), base + QStringLiteral("/cwd")};
        QDir().mkpath(layout.program);
        QDir().mkpath(layout.working);
        return layout;
    }

private slots:
    void choice_data()
    {
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<bool>("parentWritable");
        QTest::addColumn<bool>("perUser");

        QTest::addRow("portable: both writable") << true << true << false;
        QTest::addRow("installed: program folder read-only") << false << true << true;
        QTest::addRow("parent read-only: plain-joined files could not be kept") << true << false << true;
        QTest::addRow("nothing writable") << false << false << true;
    }
    void choice()
    {
        QFETCH(bool, programWritable);
        QFETCH(bool, parentWritable);
        QFETCH(bool, perUser);
        const Layout layout = freshLayout();
        QStringList asked;
        const SettingsHome home = chooseSettingsHome(layout.program, layout.perUser, [&](const QString &folder) {
            asked << folder;
            if (folder == layout.program)
                return programWritable;
            if (folder == layout.install)
                return parentWritable;
            return true;
        });
        QVERIFY2(asked.contains(layout.program), qPrintable(asked.join(u' ')));
        QCOMPARE(home.perUser, perUser);
        QCOMPARE(home.directory, perUser ? layout.perUser : layout.program);
        // The per-user folder is made only when it is used.
        QCOMPARE(QFileInfo(layout.perUser).isDir(), perUser);
    }

    void pathFormsInThePerUserFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("where"); // relative to the per-user folder's parent, or "cwd/"
        QTest::addRow("plain-joined lands in the parent")
            << "send.dat" << int(PathForm::PlainJoined) << "binsend.dat";
        QTest::addRow("launcher state, plain-joined") << "buttonstate.dat" << int(PathForm::PlainJoined)
                                                       << "binbuttonstate.dat";
        QTest::addRow("separated lies inside") << "soundsettings.dat" << int(PathForm::Separated)
                                               << "bin/soundsettings.dat";
        QTest::addRow("backslash-joined lies inside") << "soundstate.dat" << int(PathForm::BackslashJoined)
                                                      << "bin/soundstate.dat";
        QTest::addRow("relative stays in the working folder") << "mail.dat" << int(PathForm::Relative)
                                                              << "cwd/mail.dat";
    }
    void pathFormsInThePerUserFolder()
    {
        QFETCH(QString, name);
        QFETCH(int, form);
        QFETCH(QString, where);
        const Layout layout = freshLayout();
        const SettingFiles files(chooseSettingsHome(layout.program, layout.perUser, [](const QString &) { return false; }),
                                 layout.working);
        QVERIFY(files.inPerUserFolder());
        const QByteArray latin = name.toLatin1();
        const SettingFile file{latin.constData(), PathForm(form)};
        QVERIFY(files.writePrintLine(file, QStringLiteral("value")));

        const QString expected = where.startsWith(u"cwd/") ? layout.working + where.mid(3)
                                                            : layout.perUserBase + u'/' + where;
        QCOMPARE(readAll(expected), QByteArray("value\r\n"));
        QCOMPARE(files.readLine(file), QStringLiteral("value"));
        QCOMPARE(entries(layout.program), QStringList());
        QCOMPARE(entries(layout.install), QStringList{"bin"});
    }

    void aReadOnlyProgramFolderSendsSettingsToTheUsersFolder()
    {
        const Layout layout = freshLayout();
        QVERIFY(canCreateFilesIn(layout.program));
        {
            ReadOnlyFolder readOnly(layout.program);
            if (!readOnly.whyNot().isEmpty())
                QSKIP(qPrintable(QStringLiteral("cannot make a folder read-only here: ") + readOnly.whyNot()));
            QVERIFY(!canCreateFilesIn(layout.program));

            const SettingFiles files(chooseSettingsHome(layout.program, layout.perUser), layout.working);
            QVERIFY(files.inPerUserFolder());
            QCOMPARE(files.programDirectory(), layout.perUser);
            QVERIFY(files.writePrintLine(Setting::SendDir, QStringLiteral("/mail send")));
            QVERIFY(files.writeRecord(Setting::SoundSettings, 0));
            QCOMPARE(files.readLine(Setting::SendDir), QStringLiteral("/mail send"));
            QCOMPARE(files.readNumber(Setting::SoundSettings), 0);
            QCOMPARE(entries(layout.program), QStringList());
        }
        QCOMPARE(readAll(layout.perUserBase + QStringLiteral("/binsend.dat")), QByteArray("/mail send\r\n"));
        QCOMPARE(readAll(layout.perUser + QStringLiteral("/soundsettings.dat")), QByteArray("0\r\n"));
    }

    void aWritableProgramFolderKeepsSettingsBesideTheProgram()
    {
        const Layout layout = freshLayout();
        const SettingFiles files(chooseSettingsHome(layout.program, layout.perUser), layout.working);
        QVERIFY(!files.inPerUserFolder());
        QCOMPARE(files.programDirectory(), layout.program);
        QVERIFY(files.writePrintLine(Setting::SendDir, QStringLiteral("/mail send")));
        QVERIFY(files.writePrintLine(Setting::SoundState, QStringLiteral("OFF")));
        QCOMPARE(readAll(layout.install + QStringLiteral("/binsend.dat")), QByteArray("/mail send\r\n"));
        QCOMPARE(readAll(layout.program + QStringLiteral("/soundstate.dat")), QByteArray("OFF\r\n"));
        // Nothing of the check is left behind, and no per-user folder is made.
        QCOMPARE(entries(layout.program), QStringList{"soundstate.dat"});
        QVERIFY(!QFileInfo::exists(layout.perUserBase));
    }

    void theSettingsDisplaySaysWhichFolder_data()
    {
        QTest::addColumn<bool>("perUser");
        QTest::addRow("program folder") << false;
        QTest::addRow("per-user folder") << true;
    }
    void theSettingsDisplaySaysWhichFolder()
    {
        QFETCH(bool, perUser);
        const Layout layout = freshLayout();
        HomedDesk desk(chooseSettingsHome(layout.program, layout.perUser, [perUser](const QString &) { return !perUser; }),
                       layout.working);
        const QString receive = layout.working + QStringLiteral("/receive");
        QVERIFY(desk.files.writePrintLine(Setting::ReceiveDir, receive));

        auto *menu = MainMenu::open(desk.context, MainMenu::Opener::Reenter);
        TestDesk::click(menu, "SETTINGS");
        auto *settings = desk.navigator.loaded<FrSettings>();
        QVERIFY(settings);
        const QString said = child<QLabel>(settings, "settingsFolder")->text();
        QVERIFY2(said.contains(QDir::toNativeSeparators(perUser ? layout.perUser : layout.program)), qPrintable(said));
        QCOMPARE(said.contains(QStringLiteral("your own")), perUser);
        // The locations themselves come from that folder.
        QCOMPARE(child<QLineEdit>(settings, "Text3")->text(), receive);
    }
};

QTEST_MAIN(TestSettingsFolder)
#include "tst_settingsfolder.moc"
