#pragma once

#include <QWidget>

struct DeskContext;

/// `RODIRUVEREZER`, the launcher: starts, detects and resets the outside
/// radio programs, and lists and empties the outbox.
class Rodiruverezer : public QWidget
{
    Q_OBJECT
public:
    explicit Rodiruverezer(DeskContext &context);

    /// Deletes every file of the outbox list.
    void DeleteAllFiles();

private:
    DeskContext &m_context;
};
