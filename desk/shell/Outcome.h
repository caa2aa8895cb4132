#pragma once

#include <QDir>
#include <QObject>
#include <QString>

#include <utility>

/// How every fallible step of the desk answers: success, or a sentence that
/// already names what failed, where (the native path) and the operating
/// system's own reason, so a screen only puts its prefix in front of it.
///
/// One small type rather than `bool` plus an out-parameter: the reason cannot
/// be dropped on the way up (the type is `[[nodiscard]]`, and a failure
/// always carries words), and `Result<T>` adds a value for the steps that
/// produce one.
class [[nodiscard]] Outcome
{
public:
    Outcome() = default;

    static Outcome failure(QString reason)
    {
        Outcome outcome;
        // A failure without words would read as success.
        outcome.m_error = reason.isEmpty() ? QObject::tr("unknown failure") : std::move(reason);
        return outcome;
    }

    /// "<native path> cannot be written: <system's reason>".
    static Outcome cannotWrite(const QString &path, const QString &systemReason)
    {
        return failure(QObject::tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), systemReason));
    }

    bool ok() const { return m_error.isEmpty(); }
    explicit operator bool() const { return ok(); }
    /// Empty on success.
    const QString &error() const { return m_error; }

private:
    QString m_error;
};

/// A value, or the failure that kept it from being made.
template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    Result(Outcome failure)
        : m_outcome(std::move(failure))
    {
    }

    bool ok() const { return m_outcome.ok(); }
    explicit operator bool() const { return ok(); }
    const QString &error() const { return m_outcome.error(); }
    Outcome outcome() const { return m_outcome; }
    /// Meaningful only on success.
    const T &value() const { return m_value; }
    const T &operator*() const { return m_value; }
    const T *operator->() const { return &m_value; }

private:
    T m_value{};
    Outcome m_outcome;
};
