#include "Outbox.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString Outbox::newestFile(const QString &folder)
{
    // Listed by name so that ties are decided the same way on every file system.
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    QString newest;
    QDateTime latest;
    for (const QFileInfo &file : files) {
        const QDateTime modified = file.lastModified();
        if (!latest.isValid() || modified > latest) {
            latest = modified;
            newest = file.fileName();
        }
    }
    return newest;
}
