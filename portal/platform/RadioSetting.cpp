#include "RadioSetting.h"

#include "RegularFileOpen.h"
#include "WholeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

RadioSetting::RadioSetting(QString path)
    : m_path(std::move(path))
{
}

RadioSetting::Loaded RadioSetting::load() const
{
    Loaded loaded;
    Choice &choice = loaded.choice;
    QFile file(m_path);
    if (!file.exists())
        return loaded;
    if (const PortalOutcome opened = RegularFileOpen::openForReading(file); !opened) {
        loaded.problem = QObject::tr("%1 cannot be read (%2)").arg(QDir::toNativeSeparators(m_path), opened.why());
        return loaded;
    }
    QStringList wrong;
    const QList<QByteArray> lines = file.read(readLimit).split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString name = line.left(equals).trimmed().toLower();
        const QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed();
        bool ok = equals > 0;
        if (ok && name == QStringLiteral("link")) {
            ok = value == QStringLiteral("radio") || value == QStringLiteral("ip");
            if (ok)
                choice.radio = value == QStringLiteral("radio");
        } else if (ok && name == QStringLiteral("agwhost")) {
            ok = !value.isEmpty() && value.size() <= 253;
            if (ok)
                choice.host = value;
        } else if (ok && name == QStringLiteral("agwport")) {
            const uint port = value.toUInt(&ok);
            ok = ok && port > 0 && port <= 65535;
            if (ok)
                choice.port = quint16(port);
        } else {
            ok = false;
        }
        if (!ok)
            wrong.append(line.left(60));
    }
    if (!wrong.isEmpty()) {
        loaded.problem = QObject::tr("%1: lines not understood and left at their defaults: %2")
                             .arg(QDir::toNativeSeparators(m_path), wrong.join(QStringLiteral(" | ")));
    }
    return loaded;
}

PortalOutcome RadioSetting::storeRadio(bool radio) const
{
    Choice choice = load().choice;
    choice.radio = radio;
    // A per-user setting folder is made on its first write.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    const QByteArray text = QStringLiteral("link=%1\r\nagwhost=%2\r\nagwport=%3\r\n")
                                .arg(radio ? QStringLiteral("radio") : QStringLiteral("ip"), choice.host)
                                .arg(choice.port)
                                .toLatin1();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeWhole(file, text) || !file.commit()) {
        return PortalOutcome::failure(QObject::tr("The link choice cannot be written to %1: %2")
                                          .arg(QDir::toNativeSeparators(m_path), file.errorString()));
    }
    return {};
}
