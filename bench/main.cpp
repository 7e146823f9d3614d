#include "BenchAudioInput.h"
#include "BenchAudioOutput.h"
#include "media/server/SoundSource.h"

#include "media/WaveMediaControl.h"
#include "media/files/WaveSaver.h"
#include "media/take/Waveform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

// Prints Tapewren's performance figures as "name value unit", one a line.
namespace {

void report(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void reportNa(const char *name, const char *unit)
{
    std::printf("%s n/a %s\n", name, unit);
    std::fflush(stdout);
}

double rssMib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<WaveMediaControl> benchControl(BenchAudioInput **input, const QString &spool)
{
    auto in = std::make_unique<BenchAudioInput>();
    *input = in.get();
    auto control = std::make_unique<WaveMediaControl>(std::move(in),
                                                      std::make_unique<BenchAudioOutput>());
    control->setSpoolFolder(spool);
    return control;
}

// One hour of CD audio through the capture path, then saved, against cp of the result.
void recordAndSaveOneHour(const QString &folder)
{
    BenchAudioInput *input = nullptr;
    auto control = benchControl(&input, folder);
    control->setFileName("new");
    control->setCommand("open");
    control->setCommand("record");

    // what the server hands over every 10 ms
    std::vector<char> chunk(1764);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 7);
    const qint64 chunks = qint64(3600) * 100;
    for (qint64 i = 0; i < 1000; ++i)
        input->push(chunk.data(), qint64(chunk.size()));
    const double before = rssMib();
    for (qint64 i = 1000; i < chunks; ++i) {
        input->push(chunk.data(), qint64(chunk.size()));
        // as fast as the disk takes it, a second at a time
        if (i % 100 == 0)
            control->waitForStorage();
    }
    report("record_1h_rss_growth_mib", rssMib() - before, "MiB");
    control->setCommand("stop");

    // Saves and copies take turns, each from a page cache with nothing left to write back, so
    // that neither pays for the other's dirty pages. The save ends with fsync so that a crash
    // cannot leave a half-written file, so its peer is cp followed by sync of the copy.
    const QString saved = folder + "/hour.wav";
    const QString copy = folder + "/hour-copy.wav";
    std::vector<double> saves;
    std::vector<double> copies;
    std::vector<double> plainCopies;
    QElapsedTimer timer;
    for (int round = 0; round < 3; ++round) {
        // Both write a new file: freeing the last round's hour is neither's work.
        QFile::remove(saved);
        QProcess::execute("sync", {});
        timer.start();
        control->setFileName(saved);
        const Result<> written = control->setCommand("save");
        saves.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (!written.ok())
            std::fprintf(stderr, "save failed: %s\n", qPrintable(written.reason()));

        QProcess::execute("sync", {});
        timer.restart();
        QProcess::execute("cp", {saved, copy});
        QProcess::execute("sync", {copy});
        copies.push_back(double(timer.nsecsElapsed()) / 1e9);
        QFile::remove(copy);

        QProcess::execute("sync", {});
        timer.restart();
        QProcess::execute("cp", {saved, copy});
        plainCopies.push_back(double(timer.nsecsElapsed()) / 1e9);
        QFile::remove(copy);
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    report("save_1h_s", median(saves), "s");
    report("cp_sync_1h_s", median(copies), "s");
    report("save_to_cp_sync_ratio", median(saves) / median(copies), "x");
    report("cp_1h_s", median(plainCopies), "s");
    QFile::remove(saved);
}

// A sparse 16-bit stereo WAV with dataBytes of sound data.
bool writeSparseWav(const QString &path, quint32 dataBytes)
{
    QByteArray header = "RIFF" + QByteArray(4, 0) + "WAVEfmt " + QByteArray(20, 0) + "data"
                        + QByteArray(4, 0);
    qToLittleEndian<quint32>(dataBytes + 36, header.data() + 4);
    qToLittleEndian<quint32>(16, header.data() + 16);
    qToLittleEndian<quint16>(1, header.data() + 20);
    qToLittleEndian<quint16>(2, header.data() + 22);
    qToLittleEndian<quint32>(44100, header.data() + 24);
    qToLittleEndian<quint32>(44100 * 4, header.data() + 28);
    qToLittleEndian<quint16>(4, header.data() + 32);
    qToLittleEndian<quint16>(16, header.data() + 34);
    qToLittleEndian<quint32>(dataBytes, header.data() + 40);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header) == header.size()
           && file.resize(header.size() + qint64(dataBytes));
}

void openTimes(const QString &folder)
{
    const struct
    {
        const char *name;
        quint32 bytes;
    } files[] = {{"open_2gib_ms", 0x80000000u}, {"open_20mib_ms", 20u << 20}};
    for (const auto &file : files) {
        const QString path = folder + "/open.wav";
        if (!writeSparseWav(path, file.bytes)) {
            reportNa(file.name, "ms");
            continue;
        }
        BenchAudioInput *input = nullptr;
        auto control = benchControl(&input, folder);
        std::vector<double> times;
        Result<> opened;
        for (int i = 0; i < 7; ++i) {
            control->setCommand("close");
            QElapsedTimer timer;
            timer.start();
            control->setFileName(path);
            opened = control->setCommand("open");
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        if (opened.ok())
            report(file.name, times[times.size() / 2], "ms");
        else
            reportNa(file.name, "ms");
        QFile::remove(path);
    }
}

// Runs the event loop until done() holds or timeoutMs pass.
template<typename Done>
bool spin(Done done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

void realRecording()
{
    if (qEnvironmentVariableIsEmpty("TAPEWREN_TEST_PULSE")) {
        reportNa("record_first_frame_ms", "ms");
        reportNa("record_cpu_percent", "%");
        return;
    }
    WaveMediaControl control;
    control.setFileName("new");
    control.setCommand("open");
    // the test input needs a moment after the server came up
    control.setCommand("record");
    spin([&] { return control.lengthFrames() > 4410; }, 15000);
    control.setCommand("close");

    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        control.setCommand("open");
        QElapsedTimer timer;
        timer.start();
        if (!control.setCommand("record").reason().isEmpty()
            || !spin([&] { return control.lengthFrames() > 0; }, 5000))
            break;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        control.setCommand("close");
    }
    if (times.size() == 5) {
        std::sort(times.begin(), times.end());
        report("record_first_frame_ms", times[2], "ms");
    } else {
        reportNa("record_first_frame_ms", "ms");
    }

    control.setCommand("open");
    control.setCommand("record");
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop idle; // sleeps between the server's deliveries, as the program does
    QTimer::singleShot(5000, &idle, &QEventLoop::quit);
    idle.exec();
    const double percent = (cpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9) * 100;
    control.setCommand("close");
    report("record_cpu_percent", percent, "%");
}

// Opens a file and saves it as another, in the format its extension names: the time the save
// takes, as the program's worker thread spends it.
int saveFile(const QString &in, const QString &out)
{
    Result<std::unique_ptr<Waveform>> opened = Waveform::open(in);
    if (!opened.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.reason()));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const Result<> saved = WaveSaver::save(*opened.value(), out);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!saved.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(saved.reason()));
        return 1;
    }
    report("save_s", seconds, "s");
    return 0;
}

// The open of a file and the start of its playback (the first two seconds handed to the
// output, what the sound server asks for first), medians of seven.
int openAndPlay(const QString &path, const QString &folder)
{
    auto output = std::make_unique<BenchAudioOutput>();
    BenchAudioOutput &out = *output;
    WaveMediaControl control(std::make_unique<BenchAudioInput>(), std::move(output));
    control.setSpoolFolder(folder);
    std::vector<double> opens;
    std::vector<double> starts;
    for (int i = 0; i < 7; ++i) {
        control.setCommand("close");
        QElapsedTimer timer;
        timer.start();
        control.setFileName(path);
        if (!control.setCommand("open").ok())
            return 1;
        opens.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        if (!control.setCommand("play").ok() || !out.source())
            return 1;
        QByteArray first(2 * 48000 * 8, Qt::Uninitialized);
        if (!out.source()->read(first.data(), first.size()).ok())
            return 1;
        starts.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(opens.begin(), opens.end());
    std::sort(starts.begin(), starts.end());
    report("open_ms", opens[3], "ms");
    report("play_start_ms", starts[3], "ms");
    return 0;
}

} // namespace

// With no arguments, the media figures; "save IN OUT" and "open FILE" measure one file, for
// bench/save_formats.py.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"save")
        return saveFile(args[2], args[3]);
    // beside the spool, on the same disk as the temporary folder
    QTemporaryDir folder(QDir::tempPath() + "/tapewren-bench-XXXXXX");
    if (!folder.isValid())
        return 1;
    if (args.size() == 3 && args[1] == u"open")
        return openAndPlay(args[2], folder.path());
    recordAndSaveOneHour(folder.path());
    openTimes(folder.path());
    realRecording();
    return 0;
}
