#include "QtPrompter.h"

#include <QMessageBox>

namespace {

QMessageBox::Icon toQt(Prompter::Icon icon)
{
    switch (icon) {
    case Prompter::Icon::Critical: return QMessageBox::Critical;
    case Prompter::Icon::Exclamation: return QMessageBox::Warning;
    case Prompter::Icon::Information: return QMessageBox::Information;
    case Prompter::Icon::Question: return QMessageBox::Question;
    case Prompter::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtPrompter::QtPrompter(QString applicationTitle)
    : m_applicationTitle(std::move(applicationTitle))
{
}

void QtPrompter::inform(const QString &text, Icon icon, const QString &title)
{
    QMessageBox box(toQt(icon), title.isEmpty() ? m_applicationTitle : title, text, QMessageBox::Ok);
    box.exec();
}

bool QtPrompter::ask(const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(toQt(icon), title.isEmpty() ? m_applicationTitle : title, text,
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
