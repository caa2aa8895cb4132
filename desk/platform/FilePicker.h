#pragma once

#include <QString>

/// Open-file and save-file dialogs. An empty result means the operator cancelled.
class FilePicker
{
public:
    virtual ~FilePicker() = default;
    virtual QString openFile(const QString &title, const QString &filters) = 0;
    virtual QString saveFile(const QString &title, const QString &filters, const QString &suggestedName) = 0;
};
