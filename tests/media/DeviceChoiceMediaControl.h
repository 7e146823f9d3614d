#pragma once

#include "core/TapewrenError.h"
#include "media/MediaControl.h"

#include <QByteArray>
#include <QList>

// Keeps the devices it was given; its device id is set by the test.
class DeviceChoiceMediaControl : public MediaControl
{
public:
    Result<> setCommand(const QString &) override { return {}; }
    void setFileName(const QString &) override {}
    qint16 DeviceID() const override
    {
        if (deviceIdRaises)
            throw TapewrenError(380, QStringLiteral("无效的属性值"));
        return deviceId;
    }
    qint32 Position() const override { return 0; }
    qint32 Length() const override { return 0; }
    Result<> canOpen(const QString &) const override { return {}; }
    void selectDevices(const QByteArray &inputSource, const QByteArray &outputSink) override
    {
        selected << qMakePair(inputSource, outputSink);
    }

    qint16 deviceId = 1;
    bool deviceIdRaises = false;
    QList<QPair<QByteArray, QByteArray>> selected;
};
