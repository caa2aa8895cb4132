#pragma once

#include "FakePorts.h"
#include "shell/DeskContext.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"

#include <QAbstractButton>
#include <QTemporaryDir>
#include <QTest>

/// The bytes of a file, or "<missing>".
QByteArray readAll(const QString &path);
/// Writes a whole file, replacing what was there.
void writeFile(const QString &path, const QByteArray &bytes);

/// Makes a later write of a whole file at `path` fail for real, as a
/// read-only folder would not for root: `how` is "folder in its place" (a
/// folder takes the file's name) or "its folder is a file" (a regular file
/// takes the parent folder's name).
bool blockWritesAt(const QString &path, const QString &how);
/// The system's own words for refusing a whole-file write at `path`, as the
/// save device reports them; empty when the path would take the file.
QString refusalAt(const QString &path);
/// True when `text` carries both the system's words for a refused write at
/// `path` and the path in native form.
bool namesRefusal(const QString &text, const QString &path);

/// A screen's control by object name.
template<class T>
T *child(QWidget *screen, const char *name)
{
    return screen->findChild<T *>(QLatin1String(name));
}

/// A whole desk on fakes: a temporary program directory (with a working
/// directory inside it), fake ports and a navigator.
class TestDesk
{
public:
    TestDesk();

    /// The program directory, without a trailing separator.
    QString programDir() const { return m_root.path() + QStringLiteral("/bin"); }
    QString workingDir() const { return m_root.path() + QStringLiteral("/cwd"); }
    /// A fresh folder under the temporary root.
    QString makeDir(const QString &name) const;
    /// A fresh folder under the temporary root, named in that setting file.
    QString makeSettingDir(const SettingFile &setting, const QString &name) const;

    /// Clicks the button of that object name on `screen`, then lets
    /// deferred deletions run, as the event loop would.
    static void click(QWidget *screen, const QString &objectName);
    static void settle();

    FakePrompter prompter;
    FakeSpeaker speaker;
    FakeDesktop desktop;
    FakeProcesses processes;
    FakeFilePicker filePicker;
    FakeClock clock;
    int quits = 0;

private:
    QTemporaryDir m_root;

public:
    SettingFiles files;
    Navigator navigator;
    DeskContext context;
};

/// A desk with its send, receive and save folders made and set.
struct DeskStation {
    DeskStation();

    TestDesk desk;
    QString send, receive, save;
};
