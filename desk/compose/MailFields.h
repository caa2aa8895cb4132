#pragma once

#include <QString>

/// The four fields of a mail as the operator sees them.
struct MailFields {
    QString to;
    QString subject;
    QString message;
    QString from;
};
