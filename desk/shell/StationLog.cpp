#include "StationLog.h"

#include "compose/WholeWrite.h"
#include "platform/Clock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

const QString prefix = QStringLiteral("stationlog-");
const QString suffix = QStringLiteral(".txt");

} // namespace

StationLog::StationLog(QString folder, const Clock &clock)
    : m_folder(std::move(folder))
    , m_clock(clock)
{
}

QString StationLog::pathFor(QDate day) const
{
    return QDir(m_folder).filePath(prefix + day.toString(QStringLiteral("yyyy-MM-dd")) + suffix);
}

QString StationLog::todaysPath() const
{
    return pathFor(m_clock.now().date());
}

bool StationLog::isLogFileName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^stationlog-\\d{4}-\\d{2}-\\d{2}\\.txt$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name).hasMatch();
}

Outcome StationLog::append(const QString &event) const
{
    if (!m_enabled)
        return {};
    QString text = event.left(maxEventLength);
    for (QChar &ch : text)
        if (ch.category() == QChar::Other_Control || ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator)
            ch = u' ';
    if (event.size() > maxEventLength)
        text += QStringLiteral("...");
    const QDateTime now = m_clock.now();
    const QByteArray line =
        (now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate) + u' ' + text + u'\n').toUtf8();

    QFile file(pathFor(now.date()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return Outcome::cannotWrite(file.fileName(), file.errorString());
    const qint64 before = file.size();
    if (const Outcome written = writeWhole(file, line); !written) {
        // Half a line would run into the next event: cut back to where it was.
        file.resize(before);
        return Outcome::cannotWrite(file.fileName(), written.error());
    }
    return {};
}
