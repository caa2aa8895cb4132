#pragma once

#include <QList>
#include <QWidget>

struct DeskContext;
class DirectorySet;

/// `DIRCHANGE`, the directory setup: where the working directories are and
/// where the outside radio programs lie, each chosen with one directory set
/// and stored in its setting file. It also creates new working directories.
///
/// The sets stand on two pages, "STORAGE FILES" for the working
/// directories and "COMMUNICATION" for the programs. Nothing is read at
/// load; every visit starts in the current directory with empty boxes.
class DirChange : public QWidget
{
    Q_OBJECT
public:
    explicit DirChange(DeskContext &context);

    /// The directory set of that number (1 to 12), or null.
    DirectorySet *set(int number) const;

    QSize sizeHint() const override;

private:
    void setTabOrder();
    void reloadForNewDirectories();
    void enterProgram();
    void exitToEntry();

    DeskContext &m_context;
    QList<DirectorySet *> m_sets;
};
