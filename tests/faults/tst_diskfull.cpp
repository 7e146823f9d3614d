#include "SyntheticAudioInput.h"
#include "SyntheticAudioOutput.h"
#include "WavFixture.h"
#include "WaveWindow.h"

#include "media/MediaTexts.h"
#include "platform/StatvfsFreeSpace.h"
#include "recorder/RecorderController.h"
#include "recorder/StatusTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// A disk with room for only a little more: a small tmpfs of its own when the test may mount
// one, otherwise a limit on the size of any file this process writes.
class SmallDisk
{
public:
    enum Kind { FileSizeLimit, Tmpfs };

    SmallDisk(Kind kind, const QString &folder)
        : m_kind(kind)
        , m_folder(folder)
    {
        QDir().mkpath(folder);
        if (kind == Tmpfs) {
            if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=2m")
                != 0) {
                m_whyNot = QStringLiteral("cannot mount a tmpfs here: %1")
                                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
                return;
            }
            m_mounted = true;
        } else {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_oldLimit);
        }
        QDir(folder).mkpath(QStringLiteral("state/tapewren"));
        QDir(folder).mkdir(QStringLiteral("saved"));
    }

    ~SmallDisk()
    {
        empty();
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }

    QString whyNot() const { return m_whyNot; }
    // The state folder, where the program spools what it records.
    QString stateHome() const { return m_folder + QStringLiteral("/state"); }
    QString spool() const { return m_folder + QStringLiteral("/state/tapewren"); }
    QString saved() const { return m_folder + QStringLiteral("/saved"); }

    // From now on only about room more bytes fit.
    bool fill(qint64 room)
    {
        if (m_kind == FileSizeLimit) {
            rlimit limit = m_oldLimit;
            limit.rlim_cur = rlim_t(room);
            return setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        QFile filler(m_folder + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(64 * 1024, '\x55'); // real blocks: a sparse file takes no room
        qint64 left = QStorageInfo(m_folder).bytesAvailable() - room;
        while (left > 0) {
            const qint64 n = filler.write(block.constData(), std::min<qint64>(left, block.size()));
            if (n <= 0)
                return false;
            left -= n;
        }
        return filler.flush();
    }

    void empty()
    {
        if (m_kind == FileSizeLimit)
            setrlimit(RLIMIT_FSIZE, &m_oldLimit);
        else
            QFile::remove(m_folder + QStringLiteral("/filler"));
    }

private:
    Kind m_kind;
    QString m_folder;
    QString m_whyNot;
    bool m_mounted = false;
    rlimit m_oldLimit{};
};

QByteArray ramp(qint64 frames)
{
    QByteArray bytes(frames * 4, Qt::Uninitialized);
    auto *samples = reinterpret_cast<qint16 *>(bytes.data());
    for (qint64 i = 0; i < frames * 2; ++i)
        samples[i] = qint16((i * 37) % 65536 - 32768);
    return bytes;
}

// What libsndfile's integer path reads back for 16-bit samples.
std::vector<int> widened(const QByteArray &bytes)
{
    const auto *samples = reinterpret_cast<const qint16 *>(bytes.constData());
    std::vector<int> out;
    for (qsizetype i = 0; i < bytes.size() / 2; ++i)
        out.push_back(int(samples[i]) * 65536);
    return out;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The spool goes into the state folder, as in the program.
auto stateIn(const QString &folder)
{
    const QByteArray old = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(folder));
    return qScopeGuard([old] {
        if (old.isEmpty())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", old);
    });
}

} // namespace

class tst_DiskFull : public QObject
{
    Q_OBJECT

private slots:
    void record_keepsWhatWasCaptured_whenDiskFillsUp_data();
    void record_keepsWhatWasCaptured_whenDiskFillsUp();
    void save_keepsOldFile_whenDiskIsFull_data();
    void save_keepsOldFile_whenDiskIsFull();
    void refusals_nameTheirFileOnce_data();
    void refusals_nameTheirFileOnce();

private:
    void addDiskKinds();
};

void tst_DiskFull::addDiskKinds()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("file size limit") << int(SmallDisk::FileSizeLimit);
    QTest::newRow("small tmpfs") << int(SmallDisk::Tmpfs);
}

void tst_DiskFull::record_keepsWhatWasCaptured_whenDiskFillsUp_data()
{
    addDiskKinds();
}

void tst_DiskFull::record_keepsWhatWasCaptured_whenDiskFillsUp()
{
    QFETCH(int, kind);
    QTemporaryDir dir;
    SmallDisk disk(SmallDisk::Kind(kind), dir.filePath(QStringLiteral("disk")));
    if (!disk.whyNot().isEmpty())
        QSKIP(qPrintable(disk.whyNot()));
    const auto restore = stateIn(disk.stateHome());

    WaveWindow w(WaveWindow::Sound::Synthetic, std::make_unique<StatvfsFreeSpace>());
    QVERIFY(w.click(w.ui().cmdRecord));
    QVERIFY(w.media->isRecording());
    // the small disk's real room: 2 MiB last seconds (a limit on file sizes leaves the disk big)
    if (kind == SmallDisk::Tmpfs)
        QTRY_COMPARE(w.ui().lblWarning->text(), QStringLiteral("磁盘空间只够再录 0 分钟"));
    QVERIFY(disk.fill(256 * 1024));
    QSignalSpy brokeOff(w.media.get(), &MediaControl::brokeOff);
    const QByteArray sent = ramp(2 * 44100);
    // as the server hands it over: a tenth of a second at a time
    for (qsizetype at = 0; at < sent.size() && w.media->isRecording(); at += 17640) {
        w.input->push(sent.mid(at, 17640));
        w.media->waitForStorage();
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY(!w.media->isRecording());

    // the window returns to ready by itself and says what happened and what was kept
    QCOMPARE(brokeOff, QList<QVariantList>{{MediaTexts::diskFull()}});
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.ui().Lblread->text(), QStringLiteral("停止..."));
    QVERIFY(!w.ui().TimerBar->isActive());
    const qint64 kept = w.media->lengthFrames();
    QVERIFY2(kept > 0 && kept < 2 * 44100, qPrintable(QString::number(kept)));
    const QByteArray captured = sent.left(kept * 4);
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QCOMPARE(w.fakes.messageBox.shown.first().prompt,
             QStringLiteral("录音已中断：磁盘已满。已保留 0分%1秒 的录音，可以播放或保存。")
                     .arg(kept / 44100));
    QCOMPARE(w.fakes.messageBox.shown.first().style, 48);
    w.fakes.messageBox.shown.clear();

    // what was captured plays back whole
    QVERIFY(w.click(w.ui().cmdPlay));
    while (w.output->isRunning())
        w.output->pull(17640);
    QCOMPARE(w.output->played(), captured);
    emit w.media->StatusUpdate();
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));

    // and saves to another disk with every captured frame while its own is still full (a limit
    // on every file's size is no other disk)
    if (kind == SmallDisk::FileSizeLimit)
        disk.empty();
    const QString take = dir.filePath(QStringLiteral("take.wav"));
    w.answerDialog(take);
    QVERIFY(w.click(w.ui().cmdSave));
    QCOMPARE(w.fakes.messageBox.shown.size(), 0);
    QCOMPARE(w.recorder().IsModified, FlagFalse);
    QVERIFY(WavFixture::read(take).ints == widened(captured));
    // the saved recording's spool goes once the recording is dropped
    QVERIFY(w.click(w.ui().cmdNew));
    w.media->waitForStorage();
    QCOMPARE(entries(disk.spool()), QStringList());
}

void tst_DiskFull::save_keepsOldFile_whenDiskIsFull_data()
{
    addDiskKinds();
}

void tst_DiskFull::save_keepsOldFile_whenDiskIsFull()
{
    QFETCH(int, kind);
    QTemporaryDir dir;
    SmallDisk disk(SmallDisk::Kind(kind), dir.filePath(QStringLiteral("disk")));
    if (!disk.whyNot().isEmpty())
        QSKIP(qPrintable(disk.whyNot()));
    const auto restore = stateIn(dir.filePath(QStringLiteral("state")));

    const QString old = disk.saved() + QStringLiteral("/旧 录音.wav");
    QVERIFY(WavFixture::write(old,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 800)));
    const QByteArray oldBytes = contents(old);
    const QString fresh = disk.saved() + QStringLiteral("/新录音.wav");

    WaveWindow w;
    QVERIFY(w.click(w.ui().cmdRecord));
    const QByteArray sent = ramp(44100);
    w.input->push(sent);
    QVERIFY(w.click(w.ui().cmdStop));
    w.media->waitForStorage();
    const QString fileLine = w.ui().LblFile->text();

    QVERIFY(disk.fill(16 * 1024));
    for (const QString &target : {fresh, old}) {
        w.fakes.messageBox.shown.clear();
        w.answerDialog(target);
        QVERIFY(w.click(w.ui().cmdSave));
        QCOMPARE(w.fakes.messageBox.shown.size(), 1);
        QCOMPARE(w.fakes.messageBox.shown.first().prompt,
                 QStringLiteral("无法保存文件“%1”：磁盘已满。").arg(target));
        QCOMPARE(w.recorder().IsModified, FlagTrue);
        QCOMPARE(w.ui().LblFile->text(), fileLine);
        QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    }
    disk.empty();
    QCOMPARE(contents(old), oldBytes);
    QCOMPARE(entries(disk.saved()), QStringList{QFileInfo(old).fileName()});

    // the recording itself is untouched: with room again it saves whole
    w.answerDialog(fresh);
    QVERIFY(w.click(w.ui().cmdSave));
    QCOMPARE(w.recorder().IsModified, FlagFalse);
    QVERIFY(WavFixture::read(fresh).ints == widened(sent));
    QVERIFY(w.click(w.ui().cmdNew));
    w.media->waitForStorage();
    QCOMPARE(entries(dir.filePath(QStringLiteral("state/tapewren"))), QStringList());
}

void tst_DiskFull::refusals_nameTheirFileOnce_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file"); // in a folder of its own
    QTest::addColumn<QString>("sentence");
    QTest::newRow("save into a read-only folder") << "cmdSave"
                                                  << "只读/a.wav"
                                                  << "无法保存文件“%1”：没有访问权限。";
    QTest::newRow("open a file without read permission") << "cmdOpen"
                                                         << "私人/a.wav"
                                                         << "无法打开文件“%1”：没有访问权限。";
    QTest::newRow("open a file that is no sound")
            << "cmdOpen"
            << "文字/a.wav"
            << "无法打开文件“%1”：不是 WAV、FLAC、MP3、Ogg Vorbis 或 Opus 格式的声音文件。";
}

void tst_DiskFull::refusals_nameTheirFileOnce()
{
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QString, sentence);
    QTemporaryDir dir;
    const auto restore = stateIn(dir.filePath(QStringLiteral("state")));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther));
    const QString target = dir.filePath(file);
    for (const char16_t *folder : {u"只读", u"私人", u"文字"})
        QVERIFY(QDir(dir.path()).mkdir(QString::fromUtf16(folder)));
    QVERIFY(WavFixture::write(dir.filePath(QStringLiteral("私人/a.wav")),
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 80)));
    QVERIFY(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("私人/a.wav"))).constData(), 0)
            == 0);
    QFile text(dir.filePath(QStringLiteral("文字/a.wav")));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("just some text\n") > 0);
    text.close();
    QVERIFY(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("只读"))).constData(), 0555)
            == 0);

    WaveWindow w;
    // root reads and writes whatever the permissions say: do the file work as another user
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
    w.answerDialog(target);
    QVERIFY(w.click(w.frmMain->findChild<QPushButton *>(button)));
    if (asRoot) {
        ::setfsuid(0);
        ::setfsgid(0);
    }
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QCOMPARE(w.fakes.messageBox.shown.first().prompt, sentence.arg(target));
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
}

QTEST_MAIN(tst_DiskFull)
#include "tst_diskfull.moc"
