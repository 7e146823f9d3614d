#pragma once

#include <QString>

#include <exception>

// The program's one error type: what a component raises when a member cannot be read or set.
// It carries a number and a description, like the errors the untrapped-error report shows.
class TapewrenError : public std::exception
{
public:
    TapewrenError(int number, QString description);

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};
