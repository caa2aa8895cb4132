#pragma once

#include <QDir>
#include <QFileDevice>
#include <QString>

#include <utility>

/// The result of a fallible operation in the portal: success, or failure with
/// its cause in words (the system's own description and the native path).
///
/// One shape everywhere instead of an empty string that means success: the
/// type says the call can fail, [[nodiscard]] keeps a caller from dropping
/// the cause the operator needs, and a failure can never be empty.
class [[nodiscard]] PortalOutcome
{
public:
    /// Success.
    PortalOutcome() = default;

    static PortalOutcome failure(QString why)
    {
        PortalOutcome outcome;
        outcome.m_failed = true;
        outcome.m_why = why.isEmpty() ? QStringLiteral("unknown cause") : std::move(why);
        return outcome;
    }

    /// The failure of a file operation: its native path and Qt's description
    /// of what the system answered.
    static PortalOutcome fileFailure(const QFileDevice &file)
    {
        return failure(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    /// The cause of a failure; empty on success.
    const QString &why() const { return m_why; }

private:
    bool m_failed = false;
    QString m_why;
};

/// A value, or the failure that kept it from being made.
template <typename T>
class [[nodiscard]] PortalResult
{
public:
    PortalResult(T value)
        : m_value(std::move(value))
    {
    }
    PortalResult(PortalOutcome failure)
        : m_outcome(std::move(failure))
    {
        // A success carries a value: an outcome without a cause is no result.
        if (m_outcome.ok())
            m_outcome = PortalOutcome::failure(QString());
    }

    bool ok() const { return m_outcome.ok(); }
    explicit operator bool() const { return ok(); }
    /// The cause of a failure; empty on success.
    const QString &why() const { return m_outcome.why(); }
    PortalOutcome outcome() const { return m_outcome; }
    /// Meaningful only on success.
    const T &value() const { return m_value; }
    const T &operator*() const { return m_value; }
    const T *operator->() const { return &m_value; }

private:
    T m_value{};
    PortalOutcome m_outcome;
};
