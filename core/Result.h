#pragma once

#include <QString>

#include <optional>
#include <utility>

// Why an operation failed, in the words the user is shown. Never empty.
struct Failure
{
    explicit Failure(QString why)
        : reason(why.isEmpty() ? QStringLiteral(u"未知错误") : std::move(why))
    {}
    QString reason;
};

// What an operation below the handlers gives back: its value, or the reason it failed. The
// reason is empty exactly when the operation succeeded.
template<typename T = void>
class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {}
    Result(Failure failure)
        : m_reason(std::move(failure.reason))
    {}

    bool ok() const { return m_value.has_value(); }
    const QString &reason() const { return m_reason; }

    T &value() { return *m_value; }
    const T &value() const { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }

private:
    std::optional<T> m_value;
    QString m_reason;
};

template<>
class Result<void>
{
public:
    Result() = default;
    Result(Failure failure)
        : m_reason(std::move(failure.reason))
    {}

    bool ok() const { return m_reason.isEmpty(); }
    const QString &reason() const { return m_reason; }

private:
    QString m_reason;
};
