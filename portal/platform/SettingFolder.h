#pragma once

#include <QString>

#include <functional>

/// The folder the portal keeps its setting files in: beside the program,
/// as always, when the program's folder can be written; otherwise a folder
/// of the user's own, so an installed program still keeps its settings.
/// File paths are formed from the chosen folder the same way either way.
class SettingFolder
{
public:
    /// How a setting file's name is put after the folder.
    enum class Form {
        PlainJoined,     ///< folder and name with nothing between: the file lies in the folder's parent
        Separated,       ///< folder, one separator unless it ends with one, name
        BackslashJoined, ///< folder, then the name with a separator in front
    };

    using WritableCheck = std::function<bool(const QString &folder)>;

    /// Uses programFolder when writable says it can be written, else userFolder.
    SettingFolder(const QString &programFolder, const QString &userFolder, const WritableCheck &writable);

    QString folder() const { return m_folder; }
    bool besideProgram() const { return m_besideProgram; }
    QString path(const QString &name, Form form) const;
    /// The station list: the folder, a separator and "listitems.txt".
    QString stationListPath() const { return path(QStringLiteral("listitems.txt"), Form::BackslashJoined); }
    /// The sound setting the desk shares when both stand in one folder.
    QString soundSettingPath() const { return path(QStringLiteral("soundsettings.dat"), Form::Separated); }
    /// One line for the operator when the settings are not beside the program; empty otherwise.
    QString notice() const;

    /// The per-user folder: the user's data folder, then "tavrix/portal/bin".
    static QString userFolder();
    /// True when this process may create files in the folder (a read-only
    /// mount counts as not writable, for root too).
    static bool canWriteIn(const QString &folder);

private:
    QString m_programFolder;
    QString m_folder;
    bool m_besideProgram = true;
};
