#include "Outbox.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString Outbox::newestFile(const QString &folder)
{
    // Listed by name so that ties are decided the same way on every file system.
    // FIFOs, sockets and devices are listed too: one that is newest is named
    // and refused by the send, never passed over for an older file in silence.
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
    QString newest;
    QDateTime latest;
    for (const QFileInfo &file : files) {
        if (!file.exists() || file.isDir())
            continue; // a dangling link is nothing to send
        const QDateTime modified = file.lastModified();
        if (!latest.isValid() || modified > latest) {
            latest = modified;
            newest = file.fileName();
        }
    }
    return newest;
}
