#include "DeviceChoiceMediaControl.h"
#include "media/WaveMediaControl.h"
#include "media/server/PulseConnection.h"
#include "media/server/PulseWaveDevice.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {

QByteArray pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return QByteArray("failed: ") + arguments.join(u' ').toUtf8();
    return process.readAllStandardOutput().trimmed();
}

// The sources and sinks the server has now; empty when it does not answer.
PulseServerInfo serverDevices()
{
    PulseConnection pulse;
    const Result<PulseServerInfo> server = pulse.devices(std::chrono::seconds(2));
    return server.ok() ? server.value() : PulseServerInfo{};
}

// Sets an environment variable until the end of the scope.
auto overrideVariable(const char *name, const QByteArray &value)
{
    const std::optional<QByteArray> old = qEnvironmentVariableIsSet(name)
                                                  ? std::optional(qgetenv(name))
                                                  : std::nullopt;
    qputenv(name, value);
    return qScopeGuard([name, old] { old ? qputenv(name, *old) : qunsetenv(name); });
}

} // namespace

class PulseWaveDeviceTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void setInputOutput_refusesDeviceThatIsNotOpen_data();
    void setInputOutput_refusesDeviceThatIsNotOpen();
    void setInputOutput_refusesInputsAndOutputsOtherThanZero_data();
    void setInputOutput_refusesInputsAndOutputsOtherThanZero();
    void setInputOutput_reportsUnreachableServer();
    void setInputOutput_selectsServerDefaults_data();
    void setInputOutput_selectsServerDefaults();
    void setInputOutput_followsTheServersAnnouncements();
    void setInputOutput_recordsFromMonitorDefault();
    void errorText_isDistinctChineseAndBounded_data();
    void errorText_isDistinctChineseAndBounded();

private:
    void useDefaults(const QByteArray &source, const QByteArray &sink);

    QList<QByteArray> m_loadedModules;
    QByteArray m_savedSource;
    QByteArray m_savedSink;
};

void PulseWaveDeviceTest::useDefaults(const QByteArray &source, const QByteArray &sink)
{
    if (m_savedSource.isEmpty()) {
        m_savedSource = pactl({QStringLiteral("get-default-source")});
        m_savedSink = pactl({QStringLiteral("get-default-sink")});
    }
    QCOMPARE(pactl({QStringLiteral("set-default-source"), QString::fromUtf8(source)}),
             QByteArray());
    QCOMPARE(pactl({QStringLiteral("set-default-sink"), QString::fromUtf8(sink)}), QByteArray());
}

void PulseWaveDeviceTest::cleanup()
{
    if (!m_savedSource.isEmpty()) {
        pactl({QStringLiteral("set-default-source"), QString::fromUtf8(m_savedSource)});
        pactl({QStringLiteral("set-default-sink"), QString::fromUtf8(m_savedSink)});
        m_savedSource.clear();
        m_savedSink.clear();
    }
    for (const QByteArray &module : std::as_const(m_loadedModules))
        pactl({QStringLiteral("unload-module"), QString::fromUtf8(module)});
    m_loadedModules.clear();
}

void PulseWaveDeviceTest::setInputOutput_refusesDeviceThatIsNotOpen_data()
{
    QTest::addColumn<qint16>("openId");
    QTest::addColumn<bool>("idRaises");
    QTest::addColumn<qint16>("askedId");

    QTest::newRow("another device") << qint16(3) << false << qint16(4);
    QTest::newRow("nothing open") << qint16(0) << false << qint16(0);
    QTest::newRow("negative id") << qint16(3) << false << qint16(-3);
    QTest::newRow("id cannot be read") << qint16(3) << true << qint16(3);
}

void PulseWaveDeviceTest::setInputOutput_refusesDeviceThatIsNotOpen()
{
    QFETCH(qint16, openId);
    QFETCH(bool, idRaises);
    QFETCH(qint16, askedId);
    DeviceChoiceMediaControl media;
    media.deviceId = openId;
    media.deviceIdRaises = idRaises;
    PulseConnection pulse;
    PulseWaveDevice waveDevice(media, pulse);

    QCOMPARE(waveDevice.setInputOutput(askedId, 0, 0), quint32(WaveDevice::NoSuchDevice));
    QVERIFY(media.selected.isEmpty());
}

void PulseWaveDeviceTest::setInputOutput_refusesInputsAndOutputsOtherThanZero_data()
{
    QTest::addColumn<quint32>("input");
    QTest::addColumn<quint32>("output");
    QTest::addColumn<quint32>("code");

    QTest::newRow("input 1") << 1u << 0u << quint32(WaveDevice::NoInputDevice);
    QTest::newRow("output 1") << 0u << 1u << quint32(WaveDevice::NoOutputDevice);
    QTest::newRow("input -1") << 0xFFFFFFFFu << 0u << quint32(WaveDevice::NoInputDevice);
}

void PulseWaveDeviceTest::setInputOutput_refusesInputsAndOutputsOtherThanZero()
{
    QFETCH(quint32, input);
    QFETCH(quint32, output);
    QFETCH(quint32, code);
    DeviceChoiceMediaControl media;
    PulseConnection pulse;
    PulseWaveDevice waveDevice(media, pulse);

    QCOMPARE(waveDevice.setInputOutput(media.deviceId, input, output), code);
    QVERIFY(media.selected.isEmpty());
}

void PulseWaveDeviceTest::setInputOutput_reportsUnreachableServer()
{
    QTemporaryDir runtimeDir;
    QVERIFY(runtimeDir.isValid());
    const auto server = overrideVariable("PULSE_SERVER", "unix:/nonexistent");
    const auto runtime = overrideVariable("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    DeviceChoiceMediaControl media;
    PulseConnection pulse;
    PulseWaveDevice waveDevice(media, pulse);

    QCOMPARE(waveDevice.setInputOutput(media.deviceId, 0, 0),
             quint32(WaveDevice::SoundServerUnreachable));
    QVERIFY(media.selected.isEmpty());
    // No server was started in its place.
    QVERIFY(!QFileInfo::exists(runtimeDir.filePath(QStringLiteral("pulse/native"))));
}

void PulseWaveDeviceTest::setInputOutput_selectsServerDefaults_data()
{
    QTest::addColumn<bool>("chooseOthers");
    QTest::newRow("the server's defaults") << false;
    QTest::newRow("after the user chose others") << true;
}

void PulseWaveDeviceTest::setInputOutput_selectsServerDefaults()
{
    if (qEnvironmentVariableIsEmpty("TAPEWREN_TEST_PULSE"))
        QSKIP("needs the PulseAudio test server of scripts/with-test-env.sh");
    QFETCH(bool, chooseOthers);
    QByteArray source = pactl({QStringLiteral("get-default-source")});
    QByteArray sink = pactl({QStringLiteral("get-default-sink")});
    if (chooseOthers) {
        const QByteArray remap = pactl({QStringLiteral("load-module"),
                                        QStringLiteral("module-remap-source"),
                                        QStringLiteral("master=mic.monitor"),
                                        QStringLiteral("source_name=vmic2")});
        const QByteArray nullSink = pactl({QStringLiteral("load-module"),
                                           QStringLiteral("module-null-sink"),
                                           QStringLiteral("sink_name=out2")});
        for (const QByteArray &module : {remap, nullSink}) {
            QVERIFY2(!module.startsWith("failed"), module.constData());
            m_loadedModules << module;
        }
        source = "vmic2";
        sink = "out2";
        useDefaults(source, sink);
        QTRY_VERIFY(serverDevices().sources.contains(source)
                    && serverDevices().sinks.contains(sink));
    }
    // There is more than one input, so picking the first listed would not pass by chance.
    QVERIFY(!chooseOthers || serverDevices().sources.size() > 1);

    DeviceChoiceMediaControl media;
    media.deviceId = 5;
    PulseConnection pulse;
    PulseWaveDevice waveDevice(media, pulse);
    QCOMPARE(waveDevice.setInputOutput(5, 0, 0), quint32(WaveDevice::Success));
    QCOMPARE(media.selected.size(), 1);
    QCOMPARE(media.selected.first().first, source);
    QCOMPARE(media.selected.first().second, sink);
}

void PulseWaveDeviceTest::setInputOutput_followsTheServersAnnouncements()
{
    if (qEnvironmentVariableIsEmpty("TAPEWREN_TEST_PULSE"))
        QSKIP("needs the PulseAudio test server of scripts/with-test-env.sh");
    const QByteArray source = pactl({QStringLiteral("get-default-source")});
    const QByteArray sink = pactl({QStringLiteral("get-default-sink")});
    DeviceChoiceMediaControl media;
    media.deviceId = 5;
    PulseConnection pulse;
    PulseWaveDevice waveDevice(media, pulse);
    QCOMPARE(waveDevice.setInputOutput(5, 0, 0), quint32(WaveDevice::Success));
    QCOMPARE(media.selected.value(0), qMakePair(source, sink));

    // the user picks another output; the server announces it, and a later set-up takes it
    const QByteArray nullSink = pactl({QStringLiteral("load-module"),
                                       QStringLiteral("module-null-sink"),
                                       QStringLiteral("sink_name=out3")});
    QVERIFY2(!nullSink.startsWith("failed"), nullSink.constData());
    m_loadedModules << nullSink;
    useDefaults(source, "out3");
    QTRY_VERIFY(waveDevice.setInputOutput(5, 0, 0) == WaveDevice::Success
                && media.selected.last() == qMakePair(source, QByteArray("out3")));
}

void PulseWaveDeviceTest::setInputOutput_recordsFromMonitorDefault()
{
    if (qEnvironmentVariableIsEmpty("TAPEWREN_TEST_PULSE"))
        QSKIP("needs the PulseAudio test server of scripts/with-test-env.sh");
    // "What you hear": the monitor of the sink the test tone is played into; the server records
    // from it like from any source.
    const QByteArray monitor = "mic.monitor";
    useDefaults(monitor, pactl({QStringLiteral("get-default-sink")}));

    WaveMediaControl media;
    media.setFileName(QStringLiteral("new"));
    QCOMPARE(media.setCommand(QStringLiteral("open")).reason(), QString());
    PulseConnection pulse;
    PulseWaveDevice waveDevice(media, pulse);
    QCOMPARE(waveDevice.setInputOutput(media.DeviceID(), 0, 0), quint32(WaveDevice::Success));

    QCOMPARE(media.setCommand(QStringLiteral("record")).reason(), QString());
    QTest::qWait(1500);
    QCOMPARE(media.setCommand(QStringLiteral("stop")).reason(), QString());
    QTemporaryDir dir;
    const QString take = dir.filePath(QStringLiteral("monitor.wav"));
    media.setFileName(take);
    QCOMPARE(media.setCommand(QStringLiteral("save")).reason(), QString());

    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {take,
               QStringLiteral("-n"),
               QStringLiteral("remix"),
               QStringLiteral("1"),
               QStringLiteral("stat")});
    QVERIFY(sox.waitForFinished(20000));
    const QString report = QString::fromLocal8Bit(sox.readAllStandardError());
    const QRegularExpressionMatch frequency
            = QRegularExpression(QStringLiteral(R"(Rough\s+frequency:\s*([0-9]+))")).match(report);
    QVERIFY2(frequency.hasMatch(), qPrintable(report));
    QVERIFY2(std::abs(frequency.captured(1).toInt() - 440) <= 10, qPrintable(report));
}

void PulseWaveDeviceTest::errorText_isDistinctChineseAndBounded_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("the set-up's buffer") << int(WaveDevice::ErrorTextLength);
    QTest::newRow("short") << 12;
    QTest::newRow("one") << 1;
    QTest::newRow("none") << 0;
    QTest::newRow("negative") << -5;
}

void PulseWaveDeviceTest::errorText_isDistinctChineseAndBounded()
{
    QFETCH(int, length);
    DeviceChoiceMediaControl media;
    PulseConnection pulse;
    const PulseWaveDevice waveDevice(media, pulse);
    const QList<quint32> codes{WaveDevice::NoSuchDevice,
                               WaveDevice::SoundServerUnreachable,
                               WaveDevice::NoOutputDevice,
                               WaveDevice::NoInputDevice,
                               4242};
    const QRegularExpression chinese(QStringLiteral("\\p{Han}"));

    QSet<QString> texts;
    for (const quint32 code : codes) {
        const QString text = waveDevice.errorText(code, length);
        QVERIFY(text.size() <= std::max(length, 0));
        if (length >= WaveDevice::ErrorTextLength) {
            QVERIFY2(text.contains(chinese), qPrintable(text));
            texts.insert(text);
        }
    }
    if (length >= WaveDevice::ErrorTextLength) {
        QCOMPARE(texts.size(), codes.size());
        QVERIFY(waveDevice.errorText(4242, length).contains(QStringLiteral("4242")));
        QVERIFY(waveDevice.errorText(4243, length) != waveDevice.errorText(4242, length));
    }
}

QTEST_MAIN(PulseWaveDeviceTest)
#include "tst_pulsewavedevice.moc"
