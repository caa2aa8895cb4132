#include "SettingFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

SettingFolder::SettingFolder(const QString &programFolder, const QString &userFolder, const WritableCheck &writable)
    : m_programFolder(programFolder)
    , m_folder(programFolder)
{
    if (!writable(programFolder)) {
        m_folder = userFolder;
        m_besideProgram = false;
    }
}

QString SettingFolder::path(const QString &name, Form form) const
{
    switch (form) {
    case Form::PlainJoined:
        return m_folder + name;
    case Form::Separated:
        return m_folder.endsWith(u'/') ? m_folder + name : m_folder + u'/' + name;
    case Form::BackslashJoined:
        break;
    }
    // At the file system's root this gives two separators in a row, which the system takes as one.
    return m_folder + u'/' + name;
}

QString SettingFolder::notice() const
{
    if (m_besideProgram)
        return {};
    return QStringLiteral("The program folder %1 cannot be written: the station list and the sound setting are "
                          "kept in %2.")
        .arg(QDir::toNativeSeparators(m_programFolder), QDir::toNativeSeparators(m_folder));
}

QString SettingFolder::userFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tavrix/portal/bin");
}

bool SettingFolder::canWriteIn(const QString &folder)
{
    // access() also answers for a read-only mount, where root's rights do not help.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}
