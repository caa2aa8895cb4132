#pragma once

#include "FilePicker.h"

class QtFilePicker : public FilePicker
{
public:
    QString openFile(const QString &title, const QString &filters) override;
    QString saveFile(const QString &title, const QString &filters, const QString &suggestedName) override;
};
