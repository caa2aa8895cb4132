#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

/// Progress for long work on the window's own thread: a dialog with a
/// Cancel button appears once the work has taken half a second, and the
/// window keeps answering while it runs.
class TaskProgress
{
public:
    TaskProgress(QWidget *parent, const QString &label);
    ~TaskProgress();

    /// Told how many bytes of how many are done; false once cancelled.
    std::function<bool(qint64, qint64)> callback();

private:
    QWidget *m_parent;
    QString m_label;
    QElapsedTimer m_elapsed;
    std::unique_ptr<QProgressDialog> m_dialog;
};
