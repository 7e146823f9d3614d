#pragma once

#include "core/Result.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

class QByteArray;

// A recording that an earlier run left unsaved (it crashed, was killed, lost its power).
struct LeftoverTake
{
    QString id;
    QDateTime started;
    qint64 lengthMs = 0; // of the recording that comes back
    // The opened file the takes were recorded into; empty for a new recording.
    QString filePath;
    // That file changed or is gone since: the recorded audio comes back alone.
    bool fileChanged = false;
};

// The media control the window calls MMCRecord: it owns the open wave-audio device and the
// recording. Commands ("close", "open", "record", "stop", "prev", "play", "save") are carried out
// at once. A command the device cannot carry out changes nothing and raises nothing; its result
// says why, in Chinese.
class MediaControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual Result<> setCommand(const QString &command) = 0;
    // The element the next "open" or "save" uses: "new" or a file path.
    virtual void setFileName(const QString &fileName) = 0;

    // Small positive number, new for each "open"; 0 when closed.
    virtual qint16 DeviceID() const = 0;
    // Milliseconds.
    virtual qint32 Position() const = 0;
    virtual qint32 Length() const = 0;

    virtual int UpdateInterval() const { return 1000; }
    virtual QString DeviceType() const { return QStringLiteral("WaveAudio"); }

    // Whether path can be opened as sound, without touching what is open now.
    virtual Result<> canOpen(const QString &path) const = 0;

    // The source "record" and the sink "play" use from now on, named as the sound server names
    // them (Qt lists no monitor of an output as an input); empty means the default.
    virtual void selectDevices(const QByteArray &inputSource, const QByteArray &outputSink) = 0;
    // Whether anyone can see the input's level: without, capture takes large pieces and wakes
    // the program least, and no InputLevel is signalled.
    virtual void setLevelWanted(bool wanted) { Q_UNUSED(wanted); }
    // Puts everything of the recording on the disk (a take under way ends as at "stop"), for a
    // program about to end.
    virtual void finishWriting() {}

    // The recordings earlier runs left unsaved, newest first. They are held for this run until
    // recovered, discarded, or let go with keepLeftoverTakes().
    virtual QList<LeftoverTake> leftoverTakes() { return {}; }
    // The folder a recording is spooled to as it is made, and the bytes a second of it takes
    // there (0 while nothing is open): what the disk's free space is measured against.
    virtual QString spoolFolder() const { return QString(); }
    virtual qint64 bytesPerSecond() const { return 0; }

    // Stops a "save" that is running (from a slot of SaveProgress); the save then fails as
    // Failure::Cancelled and the target is left as it was.
    virtual void cancelSave() {}

    // Makes one the open recording, in place of what was open.
    virtual Result<> recoverTake(const QString &id)
    {
        Q_UNUSED(id);
        return Failure(QStringLiteral(u"没有这段录音"));
    }
    // Deletes one for good.
    virtual void discardTake(const QString &id) { Q_UNUSED(id); }
    // Lets the others go, for a later start to offer.
    virtual void keepLeftoverTakes() {}

signals:
    void StatusUpdate();
    // A recording or playback ended by itself (disk full, sound server gone, device lost), or
    // the take that just ended could not be put on the disk whole.
    void brokeOff(const QString &reason);
    // While a "save" runs (the program's events go on meanwhile): frames written of the total.
    void SaveProgress(qint64 written, qint64 total);
    // Recording started, or ended for whatever reason.
    void RecordingChanged(bool recording);
    // While recording, about ten times a second: the loudest sample since the last one, in
    // dBFS, and whether one reached full scale.
    void InputLevel(double peakDb, bool clipped);
    // While recording: sound that never arrived in this take so far, in milliseconds; silence
    // stands in for it, so the take lasts as long as it ran.
    void SoundLost(qint64 lostMs);
};
