#include "TaskProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {
constexpr int showAfterMs = 500;
}

TaskProgress::TaskProgress(QWidget *parent, const QString &label)
    : m_parent(parent)
    , m_label(label)
{
    m_elapsed.start();
}

TaskProgress::~TaskProgress() = default;

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
