#include "ProcSocketList.h"

#include "SocketTable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

ProcSocketList::ProcSocketList(QString folder)
    : m_folder(std::move(folder))
{
}

PortalOutcome ProcSocketList::read(QStringList &lines)
{
    lines.clear();
    const QStringList names{QStringLiteral("tcp"), QStringLiteral("tcp6")};
    for (const QString &name : names) {
        const QString path = QDir(m_folder).filePath(name);
        QFile table(path);
        if (!table.open(QIODevice::ReadOnly)) {
            // A system without IPv6 has no second table; only a missing first one is an error.
            if (name == names.first()) {
                return PortalOutcome::failure(QStringLiteral("The socket list %1 cannot be read: %2")
                                            .arg(QDir::toNativeSeparators(path), table.errorString()));
            }
            continue;
        }
        // Files under /proc report no size: read them whole before parsing.
        QByteArray content = table.readAll();
        QBuffer buffer(&content);
        buffer.open(QIODevice::ReadOnly);
        lines += SocketTable::read(buffer);
    }
    return {};
}
