#include "ReceiveFolder.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <system_error>

namespace {

QStringList everything(const QString &folder)
{
    QStringList names;
    const QDir dir(folder);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        names << entry.fileName();
        if (entry.isDir()) {
            for (const QString &inner : everything(entry.filePath()))
                names << entry.fileName() + u'/' + inner;
        }
    }
    return names;
}

} // namespace

/// The receive folder on its own: where parts lie, how a receive becomes a
/// file, and which names it refuses, on a temporary folder.
class PortalReceiveFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void unsafeNamesCreateNothing_data();
    void unsafeNamesCreateNothing();
    void partLiesHiddenUntilCommit();
    void commitReplacesWhole();
    void discardKeepsTheOlderFile();
    void failedCommitSaysWhy();
    void folderThatCannotBeMadeSaysWhy();
    void leftoversGoOthersStay();
};

void PortalReceiveFolderTest::unsafeNamesCreateNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("parent folder") << "../MAIL.dat";
    QTest::addRow("windows separators") << "..\\FILE.txt";
    QTest::addRow("absolute path") << "/tmp/MAIL-abs.dat";
    QTest::addRow("drive prefix") << "C:MAIL.dat";
    QTest::addRow("sub folder") << "sub/MAIL.dat";
    QTest::addRow("empty") << "";
    QTest::addRow("the part folder itself") << ".incoming";
    QTest::addRow("line end inside") << "MAIL\r\n.dat";
}

void PortalReceiveFolderTest::unsafeNamesCreateNothing()
{
    QFETCH(QString, name);
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("mail Receive"));
    ReceiveFolder folder(path);
    const PortalOutcome opened = folder.open(name);
    QVERIFY(!opened.ok());
    QVERIFY(!opened.why().isEmpty());
    QVERIFY(!folder.isOpen());
    QVERIFY(!folder.append("x").ok());
    QVERIFY(!folder.commit().ok());
    QCOMPARE(everything(home.path()), QStringList());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/MAIL-abs.dat")));
}

void PortalReceiveFolderTest::partLiesHiddenUntilCommit()
{
    QTemporaryDir home;
    // The receive folder does not exist yet: the first receive creates it.
    const QString path = home.filePath(QStringLiteral("mail Receive"));
    ReceiveFolder folder(path);
    QVERIFY(folder.open(QStringLiteral("MAIL - 1.dat")).ok());
    QVERIFY(folder.append("first ").ok());
    QVERIFY(folder.append("second\r\n").ok());
    QCOMPARE(everything(path), (QStringList{".incoming", ".incoming/MAIL - 1.dat"}));
    QCOMPARE(TestFiles::read(folder.partialPath(QStringLiteral("MAIL - 1.dat"))), QByteArray("first second\r\n"));
    QVERIFY(folder.commit().ok());
    QVERIFY(!folder.isOpen());
    QCOMPARE(everything(path), (QStringList{".incoming", "MAIL - 1.dat"}));
    QCOMPARE(TestFiles::read(QDir(path).filePath(QStringLiteral("MAIL - 1.dat"))), QByteArray("first second\r\n"));
}

void PortalReceiveFolderTest::commitReplacesWhole()
{
    QTemporaryDir home;
    const QString target = home.filePath(QStringLiteral("File - 2.txt"));
    TestFiles::put(target, QByteArray(5000, 'o'));
    ReceiveFolder folder(home.path());
    QVERIFY(folder.open(QStringLiteral("File - 2.txt")).ok());
    QVERIFY(folder.append("new").ok());
    QCOMPARE(TestFiles::read(target), QByteArray(5000, 'o'));
    QVERIFY(folder.commit().ok());
    QCOMPARE(TestFiles::read(target), QByteArray("new"));
}

void PortalReceiveFolderTest::discardKeepsTheOlderFile()
{
    QTemporaryDir home;
    const QString target = home.filePath(QStringLiteral("MAIL - 3.dat"));
    TestFiles::put(target, "older whole\r\n");
    {
        ReceiveFolder folder(home.path());
        QVERIFY(folder.open(QStringLiteral("MAIL - 3.dat")).ok());
        QVERIFY(folder.append("half").ok());
        folder.discard();
        QVERIFY(!folder.isOpen());
        QVERIFY(!QFileInfo::exists(folder.partialPath(QStringLiteral("MAIL - 3.dat"))));
        // A folder that goes away mid-receive throws the part away too.
        QVERIFY(folder.open(QStringLiteral("MAIL - 4.dat")).ok());
        QVERIFY(folder.append("half").ok());
    }
    QCOMPARE(everything(home.path()), (QStringList{".incoming", "MAIL - 3.dat"}));
    QCOMPARE(TestFiles::read(target), QByteArray("older whole\r\n"));
}

void PortalReceiveFolderTest::failedCommitSaysWhy()
{
    QTemporaryDir home;
    // A folder that is not empty stands where the file should go: no rename can replace it.
    const QString target = home.filePath(QStringLiteral("MAIL - 5.dat"));
    QVERIFY(QDir().mkpath(target));
    TestFiles::put(QDir(target).filePath(QStringLiteral("inside")), "kept");
    ReceiveFolder folder(home.path());
    QVERIFY(folder.open(QStringLiteral("MAIL - 5.dat")).ok());
    QVERIFY(folder.append("content\r\n").ok());
    const PortalOutcome committed = folder.commit();
    QVERIFY(!committed.ok());
    // The system's own description of the same failure, and the native path.
    std::error_code expected;
    std::filesystem::path probe = std::filesystem::path(home.filePath(QStringLiteral("probe")).toStdU16String());
    TestFiles::put(QString::fromStdU16String(probe.u16string()), "p");
    std::filesystem::rename(probe, std::filesystem::path(target.toStdU16String()), expected);
    QVERIFY(expected);
    QVERIFY2(committed.why().contains(QString::fromLocal8Bit(expected.message())), qPrintable(committed.why()));
    QVERIFY2(committed.why().contains(QDir::toNativeSeparators(target)), qPrintable(committed.why()));
    QCOMPARE(TestFiles::read(QDir(target).filePath(QStringLiteral("inside"))), QByteArray("kept"));
}

void PortalReceiveFolderTest::folderThatCannotBeMadeSaysWhy()
{
    QTemporaryDir home;
    // A plain file where the receive folder should be.
    const QString path = home.filePath(QStringLiteral("mail Receive"));
    TestFiles::put(path, "not a folder");
    ReceiveFolder folder(path);
    const PortalOutcome opened = folder.open(QStringLiteral("MAIL - 6.dat"));
    QVERIFY(!opened.ok());
    QVERIFY2(opened.why().contains(QDir::toNativeSeparators(path)), qPrintable(opened.why()));
    // The system's own description of the same failure.
    std::error_code expected;
    std::filesystem::create_directories(std::filesystem::path(folder.partialPath(QStringLiteral("x")).toStdU16String())
                                            .parent_path(),
                                        expected);
    QVERIFY(expected);
    QVERIFY2(opened.why().endsWith(QString::fromLocal8Bit(expected.message())), qPrintable(opened.why()));
    QVERIFY(!folder.isOpen());
    QCOMPARE(TestFiles::read(path), QByteArray("not a folder"));
}

void PortalReceiveFolderTest::leftoversGoOthersStay()
{
    QTemporaryDir home;
    ReceiveFolder folder(home.path());
    QCOMPARE(folder.removeLeftovers().removed, 0);
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".incoming"))));
    for (const QString &name : {QStringLiteral("MAIL - a.dat"), QStringLiteral(".hidden")})
        TestFiles::put(folder.partialPath(name), "part");
    TestFiles::put(home.filePath(QStringLiteral("MAIL - kept.dat")), "whole\r\n");
    const ReceiveFolder::Sweep sweep = folder.removeLeftovers();
    QCOMPARE(sweep.removed, 2);
    QVERIFY2(sweep.outcome.ok(), qPrintable(sweep.outcome.why()));
    QCOMPARE(everything(home.path()), (QStringList{".incoming", "MAIL - kept.dat"}));
}

QTEST_GUILESS_MAIN(PortalReceiveFolderTest)
#include "tst_portal_receivefolder.moc"
