#include "ReceiveFolder.h"

#include "ReceiveName.h"
#include "WholeWrite.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace {

const QString incomingFolder = QStringLiteral(".incoming");

} // namespace

ReceiveFolder::ReceiveFolder(QString folder)
    : m_folder(std::move(folder))
{
}

ReceiveFolder::~ReceiveFolder()
{
    discard();
}

QString ReceiveFolder::partialPath(const QString &name) const
{
    return QDir(m_folder).filePath(incomingFolder + u'/' + name);
}

PortalOutcome ReceiveFolder::open(const QString &name)
{
    discard();
    // The folder keeps its own rule: nothing is written outside it, whoever calls.
    const QString refusal = ReceiveName::refusal(name);
    if (!refusal.isEmpty())
        return PortalOutcome::failure(refusal);
    const QString partial = partialPath(name);
    const QString parts = QFileInfo(partial).absolutePath();
    // Made through the standard library, which keeps the system's reason when it fails.
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(parts.toStdU16String()), made);
    if (made) {
        return PortalOutcome::failure(QStringLiteral("the folder %1 cannot be created: %2")
                                    .arg(QDir::toNativeSeparators(parts), QString::fromLocal8Bit(made.message())));
    }
    m_file.setFileName(partial);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return PortalOutcome::fileFailure(m_file);
    m_name = name;
    return {};
}

PortalOutcome ReceiveFolder::append(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return PortalOutcome::failure(QStringLiteral("no receive file is open"));
    if (!writeWhole(m_file, bytes)) {
        const PortalOutcome failed = PortalOutcome::fileFailure(m_file);
        discard();
        return failed;
    }
    return {};
}

PortalOutcome ReceiveFolder::commit()
{
    if (!m_file.isOpen())
        return PortalOutcome::failure(QStringLiteral("no receive file is open"));
    const QString partial = m_file.fileName();
    const bool flushed = m_file.flush();
    const PortalOutcome flushFailure = PortalOutcome::fileFailure(m_file);
    m_file.close();
    const QString target = QDir(m_folder).filePath(std::exchange(m_name, QString()));
    if (!flushed) {
        QFile::remove(partial);
        return flushFailure;
    }
    // rename() replaces an existing file in one step; no tail of an older file survives.
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdU16String()),
                            std::filesystem::path(target.toStdU16String()), error);
    if (error) {
        return PortalOutcome::failure(QStringLiteral("%1 cannot be moved to %2: %3")
                                    .arg(QDir::toNativeSeparators(partial), QDir::toNativeSeparators(target),
                                         QString::fromLocal8Bit(error.message())));
    }
    return {};
}

void ReceiveFolder::discard()
{
    m_name.clear();
    if (!m_file.isOpen())
        return;
    m_file.close();
    QFile::remove(m_file.fileName());
}

ReceiveFolder::Sweep ReceiveFolder::removeLeftovers() const
{
    const QDir parts(QDir(m_folder).filePath(incomingFolder));
    Sweep sweep;
    const QStringList names = parts.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        QFile part(parts.filePath(name));
        if (part.remove())
            ++sweep.removed;
        else if (sweep.outcome)
            sweep.outcome = PortalOutcome::fileFailure(part);
    }
    return sweep;
}
