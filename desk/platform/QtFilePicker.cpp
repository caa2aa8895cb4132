#include "QtFilePicker.h"

#include <QFileDialog>

QString QtFilePicker::openFile(const QString &title, const QString &filters)
{
    return QFileDialog::getOpenFileName(nullptr, title, QString(), filters);
}

QString QtFilePicker::saveFile(const QString &title, const QString &filters, const QString &suggestedName)
{
    return QFileDialog::getSaveFileName(nullptr, title, suggestedName, filters);
}
