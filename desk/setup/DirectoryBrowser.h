#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class PathBox;
class QListWidget;

/// The three lists of one directory set: a drive list (the mounted
/// volumes), a directory list (".." and the subdirectories of the current
/// directory, which is shown above it) and a file list (the files of the
/// current directory).
///
/// Everything works from the keyboard: choosing a drive or pressing Enter
/// in the drive list moves to that drive; Enter in the directory list opens
/// the highlighted directory, Backspace goes up; arrows highlight a file.
/// A drive that is not ready or a folder that cannot be opened is refused
/// and the current directory stays.
class DirectoryBrowser : public QWidget
{
    Q_OBJECT
public:
    /// One entry of the drive list.
    struct Drive {
        QString root;
        QString caption;
    };

    /// `number` names the lists `Drive<number>`, `Dir<number>` and
    /// `File<number>`. The browser starts in `start` without reporting a
    /// change.
    DirectoryBrowser(int number, const QString &start, QWidget *parent = nullptr);

    /// The mounted volumes that are folders, the root first.
    static QList<Drive> mountedDrives();
    /// Replaces the drive list; the current directory stays.
    void setDrives(const QList<Drive> &drives);

    /// The current directory, in native form.
    QString directory() const;

    /// Moves to `path` and lists it. Reports `directoryChanged` when the
    /// directory is a new one; `refused` and false when it cannot be opened.
    bool setDirectory(const QString &path);

    /// Chooses the drive list's entry `index`, as the operator does.
    bool chooseDrive(int index);

    /// Opens the highlighted entry of the directory list.
    bool openHighlighted();

    /// Highlights the file of that name in the file list; false when it is
    /// not listed.
    bool highlightFile(const QString &name);
    /// The highlighted file's name, empty when none is.
    QString highlightedFile() const;

    QComboBox *driveList() const { return m_drives; }
    QListWidget *directoryList() const { return m_directories; }
    QListWidget *fileList() const { return m_files; }

signals:
    void directoryChanged(const QString &directory);
    /// A drive or folder could not be opened; the text says why, in words.
    void refused(const QString &reason);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool applyDrive(int index, bool report);
    // `report` says whether a refusal is told; a change always is.
    bool enter(const QString &path, bool report);
    void list();
    void showDriveOf(const QString &path);

    QComboBox *m_drives = nullptr;
    PathBox *m_current = nullptr;
    QListWidget *m_directories = nullptr;
    QListWidget *m_files = nullptr;
    QString m_directory;
};
