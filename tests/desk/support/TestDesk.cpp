#include "TestDesk.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QByteArray readAll(const QString &path)
{
    return TestFiles::read(path, "<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    TestFiles::put(path, bytes);
}

bool blockWritesAt(const QString &path, const QString &how)
{
    if (how == u"folder in its place")
        return QDir().mkpath(path);
    const QString folder = QFileInfo(path).absolutePath();
    QDir(folder).removeRecursively();
    QFile file(folder);
    return file.open(QIODevice::WriteOnly) && file.write("not a folder") > 0;
}

QString refusalAt(const QString &path)
{
    QSaveFile probe(path);
    if (probe.open(QIODevice::WriteOnly)) {
        probe.cancelWriting();
        return {};
    }
    return probe.errorString();
}

bool namesRefusal(const QString &text, const QString &path)
{
    const QString reason = refusalAt(path);
    return !reason.isEmpty() && text.contains(reason) && text.contains(QDir::toNativeSeparators(path));
}

TestDesk::TestDesk()
    : files(programDir(), workingDir())
    , context{files, prompter, speaker, desktop, processes, filePicker, clock, navigator, [this] { ++quits; }}
{
    QDir().mkpath(programDir());
    QDir().mkpath(workingDir());
    navigator.setContext(context);
}

QString TestDesk::makeDir(const QString &name) const
{
    const QString path = m_root.path() + u'/' + name;
    QDir().mkpath(path);
    return path;
}

QString TestDesk::makeSettingDir(const SettingFile &setting, const QString &name) const
{
    const QString path = makeDir(name);
    if (const Outcome stored = files.writePrintLine(setting, path); !stored)
        qWarning() << stored.error();
    return path;
}

void TestDesk::click(QWidget *screen, const QString &objectName)
{
    QVERIFY2(screen, "screen is not loaded");
    auto *button = screen->findChild<QAbstractButton *>(objectName);
    QVERIFY2(button, qPrintable(QStringLiteral("no button ") + objectName));
    QVERIFY2(button->isEnabled(), qPrintable(objectName + QStringLiteral(" is disabled")));
    button->click();
    settle();
}

void TestDesk::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

DeskStation::DeskStation()
    : send(desk.makeSettingDir(Setting::SendDir, QStringLiteral("send")))
    , receive(desk.makeSettingDir(Setting::ReceiveDir, QStringLiteral("receive")))
    , save(desk.makeSettingDir(Setting::SaveDir, QStringLiteral("save")))
{
}
