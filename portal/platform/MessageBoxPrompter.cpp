#include "MessageBoxPrompter.h"

#include <QCoreApplication>
#include <QMessageBox>

void MessageBoxPrompter::inform(const QString &text, Icon icon)
{
    QMessageBox::Icon shown = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None: break;
    case Icon::Information: shown = QMessageBox::Information; break;
    case Icon::Exclamation: shown = QMessageBox::Warning; break;
    case Icon::Critical: shown = QMessageBox::Critical; break;
    }
    QMessageBox box(shown, QStringLiteral("telnet server"), text, QMessageBox::Ok, m_window);
    box.exec();
}

bool MessageBoxPrompter::ask(const QString &question)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("telnet server"), question,
                    QMessageBox::Yes | QMessageBox::No, m_window);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
