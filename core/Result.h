#pragma once

#include <QString>

#include <optional>
#include <utility>

// Why an operation failed: what kind of failure it was, for the code that decides what to do
// about it, and the reason in the words the user is shown. The reason is never empty.
struct Failure
{
    enum Kind {
        Other,
        Cancelled,  // the user asked to stop
        NoSpace,    // the disk or the quota is full
        Io,         // a read, write or flush failed
        ServerGone, // the sound server went away or refused
        BadFile,    // not a sound file that can be read
    };

    explicit Failure(QString why)
        : Failure(Other, std::move(why))
    {}
    Failure(Kind kind, QString why)
        : kind(kind)
        , reason(why.isEmpty() ? QStringLiteral(u"未知错误") : std::move(why))
    {}

    Kind kind = Other;
    QString reason;
};

// What an operation below the handlers gives back: its value, or the failure. The reason is
// empty exactly when the operation succeeded.
template<typename T = void>
class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {}
    Result(Failure failure)
        : m_kind(failure.kind)
        , m_reason(std::move(failure.reason))
    {}

    bool ok() const { return m_value.has_value(); }
    const QString &reason() const { return m_reason; }
    Failure::Kind kind() const { return m_kind; }
    // The failure, to pass on; only when !ok().
    Failure failure() const { return Failure(m_kind, m_reason); }

    T &value() { return *m_value; }
    const T &value() const { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }

private:
    std::optional<T> m_value;
    Failure::Kind m_kind = Failure::Other;
    QString m_reason;
};

template<>
class Result<void>
{
public:
    Result() = default;
    Result(Failure failure)
        : m_kind(failure.kind)
        , m_reason(std::move(failure.reason))
    {}

    bool ok() const { return m_reason.isEmpty(); }
    const QString &reason() const { return m_reason; }
    Failure::Kind kind() const { return m_kind; }
    Failure failure() const { return Failure(m_kind, m_reason); }

private:
    Failure::Kind m_kind = Failure::Other;
    QString m_reason;
};
