#include "FakeMediaControl.h"

#include "core/TapewrenError.h"
#include "media/MediaTexts.h"

void FakeMediaControl::use(const QString &call) const
{
    calls << call;
    if (raising.contains(call))
        throw TapewrenError(380, QStringLiteral("无效的属性值：%1").arg(call));
}

Result<> FakeMediaControl::setCommand(const QString &command)
{
    use(QStringLiteral("Command ") + command);
    if (refusing.contains(command))
        return Failure(refusing.value(command));
    if (command == u"save") {
        saveCancelled = false;
        for (const qint64 written : std::as_const(saveSteps)) {
            emit SaveProgress(written, saveSteps.last());
            if (saveCancelled)
                return Failure(Failure::Cancelled, MediaTexts::saveCancelled());
        }
    }
    // any other command ends a recording, as the real control's do
    const bool nowRecording = command == u"record";
    if (nowRecording != recording) {
        recording = nowRecording;
        emit RecordingChanged(recording);
    }
    return {};
}

void FakeMediaControl::setFileName(const QString &fileName)
{
    use(QStringLiteral("FileName ") + fileName);
}

qint16 FakeMediaControl::DeviceID() const
{
    use(QStringLiteral("DeviceID"));
    return deviceId;
}

qint32 FakeMediaControl::Position() const
{
    use(QStringLiteral("Position"));
    return position;
}

qint32 FakeMediaControl::Length() const
{
    use(QStringLiteral("Length"));
    return length;
}

Result<> FakeMediaControl::canOpen(const QString &path) const
{
    if (badFiles.contains(path))
        return Failure(badFiles.value(path));
    return {};
}

QList<LeftoverTake> FakeMediaControl::leftoverTakes()
{
    use(QStringLiteral("leftoverTakes"));
    return leftovers;
}

Result<> FakeMediaControl::recoverTake(const QString &id)
{
    use(QStringLiteral("recoverTake ") + id);
    if (refusing.contains(QStringLiteral("recoverTake")))
        return Failure(refusing.value(QStringLiteral("recoverTake")));
    return {};
}

void FakeMediaControl::discardTake(const QString &id)
{
    use(QStringLiteral("discardTake ") + id);
}

void FakeMediaControl::keepLeftoverTakes()
{
    use(QStringLiteral("keepLeftoverTakes"));
}
