// libFuzzer target: a sound file as a user would open it in Tapewren (WAV, FLAC, MP3, Ogg Vorbis
// or Opus, told by its first bytes). The input goes to a file, then through the media control's
// own open path ("open", Length and Position), is played to the end through a synthetic output,
// recorded into, saved (as WAV, or in a format the input's size picks) and opened again, then
// closed.
// Besides the sanitizers it checks what the recorder relies on, and aborts when that breaks so
// that libFuzzer keeps the input.

#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"

#include "core/TapewrenError.h"
#include "media/WaveMediaControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr qint64 pullBytes = 1 << 14;
// More pulls than any input within -max_len needs to be heard to its end.
constexpr int maxPulls = 1 << 16;
constexpr qsizetype maxRecordedBytes = 4096;
// Frames in the largest block libsndfile writes with any WAV encoding.
constexpr qint64 maxBlock = 4096;

void require(bool holds, const char *what)
{
    if (holds)
        return;
    std::fprintf(stderr, "tapewren fuzz: %s\n", what);
    std::abort();
}

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

QString scratchParent()
{
    // every input is written and saved: keep that off the disk when we can
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.absoluteFilePath() : QDir::tempPath();
}

// What lives for the whole run: the application object the media control's timers need and
// a private folder for the input, the saved copy and the spool.
struct Run
{
    Run(int *argc, char ***argv)
        : app(*argc, *argv)
        , scratch(scratchParent() + QStringLiteral("/tapewren-fuzz-XXXXXX"))
        , inputPath(scratch.filePath(QStringLiteral("input.wav")))
    {
        require(scratch.isValid(), "no scratch folder");
    }

    QCoreApplication app;
    QTemporaryDir scratch;
    QString inputPath;
};

// Where an input is saved: WAV for most, so the saver's own path is fuzzed at full speed; a
// compressed format for one input in eight, which costs an encoder's start.
QString savedPath(const Run &run, size_t size)
{
    static const char *const names[] = {"saved.flac", "saved.mp3", "saved.ogg", "saved.opus"};
    const char *name = size % 8 < 4 ? "saved.wav" : names[size % 4];
    return run.scratch.filePath(QString::fromLatin1(name));
}

// libFuzzer calls plain functions, so the run is reached through this one owner.
std::unique_ptr<Run> &run()
{
    static std::unique_ptr<Run> theRun;
    return theRun;
}

bool writeInput(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

// The frame count and encoding of a saved file, as libsndfile itself reads them.
bool readBack(const QString &path, qint64 *frames, int *encoding)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return false;
    sf_close(file);
    *frames = info.frames;
    *encoding = info.format & SF_FORMAT_SUBMASK;
    return true;
}

bool isSampleBySample(int encoding)
{
    switch (encoding) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

void playToEnd(WaveMediaControl &control, SyntheticAudioOutput &output)
{
    require(control.setCommand(QStringLiteral("play")).reason().isEmpty(),
            "play refused on an open file");
    // all of it is taken well within the drain limit, so an end the control misses shows here
    for (int i = 0; control.isPlaying() && i < maxPulls; ++i)
        output.pull(pullBytes);
    require(!control.isPlaying(), "playback never reached the end");
    require(control.positionFrames() == control.lengthFrames(), "playback ended before Length");
}

void recordInto(WaveMediaControl &control,
                SyntheticAudioInput &input,
                const uint8_t *data,
                size_t size)
{
    const qint64 before = control.lengthFrames();
    require(control.setCommand(QStringLiteral("record")).reason().isEmpty(),
            "record refused on an open file");
    // the input's own bytes as captured sound: any bit pattern may arrive from the server
    input.push(QByteArray(reinterpret_cast<const char *>(data),
                          qsizetype(std::min<size_t>(size, maxRecordedBytes))),
               333);
    require(control.setCommand(QStringLiteral("stop")).reason().isEmpty(),
            "stop failed after recording");
    require(control.lengthFrames() >= before, "recording lost frames");
}

void saveAndReopen(WaveMediaControl &control, const QString &path)
{
    control.setFileName(path);
    if (!control.setCommand(QStringLiteral("save")).reason().isEmpty()) {
        require(!QFileInfo::exists(path), "a failed save left a file");
        return;
    }
    require(control.canOpen(path).ok(), "a saved file cannot be opened");
    qint64 saved = 0;
    int encoding = 0;
    require(readBack(path, &saved, &encoding), "libsndfile cannot read a saved file");
    const qint64 held = control.lengthFrames();
    // block codecs fill their last block with silence; a compressed file, at the rate its
    // encoder takes, the saver itself has read back and counted
    if (path.endsWith(u".wav"))
        require(isSampleBySample(encoding) ? saved == held
                                           : saved >= held && saved < held + maxBlock,
                "the saved file's length differs");
    QFile::remove(path);
}

void openAndReadAll(const Run &run, const uint8_t *data, size_t size)
{
    auto inputOwner = std::make_unique<SyntheticAudioInput>();
    auto outputOwner = std::make_unique<SyntheticAudioOutput>();
    SyntheticAudioInput &input = *inputOwner;
    SyntheticAudioOutput &output = *outputOwner;
    WaveMediaControl control(std::move(inputOwner), std::move(outputOwner));
    control.setSpoolFolder(run.scratch.path());

    const bool openable = control.canOpen(run.inputPath).ok();
    control.setFileName(run.inputPath);
    require(control.setCommand(QStringLiteral("open")).reason().isEmpty() == openable,
            "open and canOpen disagree");
    if (!openable) {
        require(control.DeviceID() == 0 && control.Length() == 0, "a refused file left a device");
        return;
    }
    require(control.DeviceID() > 0, "no device after open");
    require(control.Position() == 0, "an opened file does not start at 0");
    require(control.Length() >= 0, "negative Length");

    playToEnd(control, output);
    recordInto(control, input, data, size);
    saveAndReopen(control, savedPath(run, size));

    control.setCommand(QStringLiteral("close"));
    require(control.DeviceID() == 0 && control.Length() == 0, "close left a device");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (!qEnvironmentVariableIsSet("TAPEWREN_FUZZ_VERBOSE"))
        qInstallMessageHandler(dropMessage);
    run() = std::make_unique<Run>(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Run &current = *run();
    require(writeInput(current.inputPath, data, size), "cannot write the input file");
    try {
        openAndReadAll(current, data, size);
    } catch (const TapewrenError &) {
        // Length or Position out of range is reported this way, by design
    }
    return 0;
}
