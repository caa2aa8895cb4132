#include "FakePorts.h"

void FakePrompter::inform(const QString &text, Icon icon, const QString &title)
{
    boxes.append({text, icon, title, false});
}

bool FakePrompter::ask(const QString &text, const QString &title, Icon icon)
{
    boxes.append({text, icon, title, true});
    return answers.isEmpty() ? true : answers.dequeue();
}

QStringList FakePrompter::texts() const
{
    QStringList result;
    for (const Box &box : boxes)
        result << box.text;
    return result;
}

bool FakeDesktop::raiseWindow(const QString &title)
{
    if (!windows.contains(title))
        return false;
    raised << title;
    return true;
}

Outcome FakeDesktop::pressStartMenuKey()
{
    if (!keyFailure.isEmpty())
        return Outcome::failure(keyFailure);
    keys << QStringLiteral("start menu");
    return {};
}

Outcome FakeDesktop::pressAltTab()
{
    if (!keyFailure.isEmpty())
        return Outcome::failure(keyFailure);
    keys << QStringLiteral("alt+tab");
    return {};
}

Outcome FakeDesktop::openFileManager()
{
    ++fileManagerOpened;
    return {};
}

bool FakeProcesses::isRunning(const QString &fileName)
{
    for (const QString &name : running)
        if (name.compare(fileName, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

Result<qint64> FakeProcesses::start(const QString &path)
{
    if (failStarts)
        return Outcome::failure(QStringLiteral("cannot start"));
    started << path;
    return nextPid++;
}

Outcome FakeProcesses::open(const QString &file, const QString &workingDirectory)
{
    if (failStarts)
        return Outcome::failure(QStringLiteral("cannot open"));
    opened << workingDirectory + u'|' + file;
    return {};
}

QString FakeFilePicker::openFile(const QString &title, const QString &)
{
    titles << title;
    return openAnswers.isEmpty() ? QString() : openAnswers.dequeue();
}

QString FakeFilePicker::saveFile(const QString &title, const QString &, const QString &)
{
    titles << title;
    return saveAnswers.isEmpty() ? QString() : saveAnswers.dequeue();
}
