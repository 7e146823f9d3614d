#pragma once

#include "recorder/MediaControl.h"

#include <QHash>
#include <QSet>
#include <QStringList>

// Records every member use as "Command record", "FileName new", "DeviceID", "Position",
// "Length"; raises on the uses listed in raising; refuses the commands listed in refusing.
class FakeMediaControl : public MediaControl
{
    Q_OBJECT

public:
    void setCommand(const QString &command) override;
    void setFileName(const QString &fileName) override;
    qint16 DeviceID() const override;
    qint32 Position() const override;
    qint32 Length() const override;
    QString lastError() const override { return m_lastError; }
    QString openProblem(const QString &path) const override;
    void selectDevices(const QAudioDevice &, const QAudioDevice &) override { ++devicesSelected; }

    mutable QStringList calls;
    QSet<QString> raising;            // e.g. "Command stop", "DeviceID", "Position"
    QHash<QString, QString> refusing; // command -> reason kept in lastError()
    QHash<QString, QString> badFiles; // path -> reason given by openProblem()
    qint16 deviceId = 1;
    qint32 position = 0;
    qint32 length = 0;
    int devicesSelected = 0;

private:
    void use(const QString &call) const;

    QString m_lastError;
};
