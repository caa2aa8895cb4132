#pragma once

#include <QWidget>

struct DeskContext;
class QGridLayout;

/// `frsettings`: the twelve stored locations, read-only, with the ways back
/// to the main menu and to the directory setup.
class FrSettings : public QWidget
{
    Q_OBJECT
public:
    explicit FrSettings(DeskContext &context);

private:
    void returnToDirectorySetup();
    void addUnattendedControls(QGridLayout *layout, int row);
    void openStationLog();

    DeskContext &m_context;
};
