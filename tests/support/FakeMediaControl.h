#pragma once

#include "media/MediaControl.h"

#include <QHash>
#include <QSet>
#include <QStringList>

// Records every member use as "Command record", "FileName new", "DeviceID", "Position",
// "Length"; raises on the uses listed in raising; refuses the commands listed in refusing.
class FakeMediaControl : public MediaControl
{
    Q_OBJECT

public:
    Result<> setCommand(const QString &command) override;
    void setFileName(const QString &fileName) override;
    qint16 DeviceID() const override;
    qint32 Position() const override;
    qint32 Length() const override;
    Result<> canOpen(const QString &path) const override;
    void selectDevices(const QByteArray &, const QByteArray &) override { ++devicesSelected; }
    void cancelSave() override { saveCancelled = true; }
    void setLevelWanted(bool wanted) override { levelWanted << wanted; }
    QString spoolFolder() const override { return spool; }
    qint64 bytesPerSecond() const override { return byteRate; }
    QList<LeftoverTake> leftoverTakes() override;
    Result<> recoverTake(const QString &id) override;
    void discardTake(const QString &id) override;
    void keepLeftoverTakes() override;

    mutable QStringList calls;
    QSet<QString> raising;            // e.g. "Command stop", "DeviceID", "Position"
    QHash<QString, QString> refusing; // command -> the reason its result gives
    QHash<QString, QString> badFiles; // path -> the reason canOpen() gives
    qint16 deviceId = 1;
    qint32 position = 0;
    qint32 length = 0;
    int devicesSelected = 0;
    bool recording = false;
    QList<LeftoverTake> leftovers; // what leftoverTakes() finds
    QList<qint64> saveSteps;       // frames written at each progress report of a "save"
    bool saveCancelled = false;
    QList<bool> levelWanted; // each call of setLevelWanted
    QString spool = QStringLiteral("/spool");
    qint64 byteRate = 176400; // CD sound

private:
    void use(const QString &call) const;
};
