#include "TaskProgress.h"

#include "ScreenGuard.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QWidget>

namespace {
constexpr int showAfterMs = 500;
}

TaskProgress::TaskProgress(QWidget *parent, const QString &label)
    : m_parent(parent)
    , m_label(label)
{
    m_elapsed.start();
    // The window keeps answering while the work runs; it must not be left meanwhile.
    if (m_parent)
        ScreenGuard::setBusy(m_parent->window(), true);
}

TaskProgress::~TaskProgress()
{
    if (m_parent)
        ScreenGuard::setBusy(m_parent->window(), false);
}

std::function<bool(qint64, qint64)> TaskProgress::callback()
{
    return [this](qint64 done, qint64 total) {
        if (!m_dialog && m_elapsed.elapsed() >= showAfterMs) {
            m_dialog = std::make_unique<QProgressDialog>(m_label, QObject::tr("Cancel"), 0, 1000, m_parent);
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setMinimumDuration(0);
        }
        if (m_dialog) {
            m_dialog->setValue(total > 0 ? int(done * 1000 / total) : 0);
            if (m_dialog->wasCanceled())
                return false;
        }
        QCoreApplication::processEvents();
        return true;
    };
}
