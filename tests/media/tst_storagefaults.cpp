#include "support/FaultyFileSystem.h"
#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"
#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"
#include "media/take/SpoolHeader.h"
#include "media/take/TakeJournal.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

// Disks that fail while a take is written or a recording saved: what is kept is what the disk
// holds, the user is told, and nothing on the disk ever describes sound that is not there.
namespace {

constexpr qint64 piece = 4410; // a tenth of a second, as the server hands it over
constexpr int frameBytes = 4;

struct Control
{
    Control(const QString &spoolFolder, FileSystem &fileSystem)
    {
        auto in = std::make_unique<SyntheticAudioInput>();
        input = in.get();
        media = std::make_unique<WaveMediaControl>(std::move(in),
                                                   std::make_unique<SyntheticAudioOutput>());
        media->setSpoolFolder(spoolFolder);
        media->setFileSystem(fileSystem);
        media->setFileName("new");
        media->setCommand("open");
    }

    // Pieces of a ramp, each written before the next comes, until the take breaks off.
    void record(int pieces)
    {
        for (int i = 0; i < pieces && media->isRecording(); ++i) {
            QByteArray bytes(piece * frameBytes, Qt::Uninitialized);
            for (qsizetype b = 0; b < bytes.size(); ++b)
                bytes[b] = char((sent + b) * 7);
            sent += bytes.size();
            input->push(bytes, bytes.size());
            media->waitForStorage();
            QCoreApplication::processEvents();
        }
    }

    SyntheticAudioInput *input;
    std::unique_ptr<WaveMediaControl> media;
    qint64 sent = 0;
};

qint64 framesIn(qint64 spoolBytes)
{
    return std::max<qint64>(spoolBytes - SpoolHeader::size, 0) / frameBytes;
}

// The folder as a power cut leaves it: each file as its last flush put it on the disk.
void powerCut(const QString &from, const QString &to, const FaultyFileSystem &disk)
{
    QDir().mkpath(to);
    for (const QString &name : QDir(from).entryList(QDir::Files)) {
        const QString path = from + u'/' + name;
        const qint64 flushed = disk.flushedSize(QFile::encodeName(path));
        if (flushed < 0)
            continue; // never reached the disk
        QFile::copy(path, to + u'/' + name);
        QFile::resize(to + u'/' + name, flushed);
    }
}

} // namespace

class tst_StorageFaults : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void take_keepsWhatTheDiskHolds_whenItFails_data();
    void take_keepsWhatTheDiskHolds_whenItFails();
    void journal_neverNamesSoundTheSpoolHasNotFlushed();
    void save_keepsTheOldFile_whenItsFlushFailsOrIsCancelled_data();
    void save_keepsTheOldFile_whenItsFlushFailsOrIsCancelled();
    void save_copiesWithoutTheKernel_whenItCannot();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_StorageFaults::take_keepsWhatTheDiskHolds_whenItFails_data()
{
    QTest::addColumn<int>("flushesThatWork");
    QTest::addColumn<qint64>("room"); // bytes the disk takes after the first flush; -1 any
    QTest::addColumn<QString>("reason");
    QTest::newRow("EIO at a flush")
            << 1 << qint64(-1) << u"无法写入录音临时文件（磁盘读写出错）"_qs;
    QTest::newRow("disk full in the middle of a piece")
            << -1 << qint64(3 * piece * frameBytes + 1001) << u"磁盘已满"_qs;
    QTest::newRow("disk full after a second of sound")
            << -1 << qint64(14 * piece * frameBytes) << u"磁盘已满"_qs;
}

void tst_StorageFaults::take_keepsWhatTheDiskHolds_whenItFails()
{
    QFETCH(int, flushesThatWork);
    QFETCH(qint64, room);
    QFETCH(QString, reason);
    FaultyFileSystem disk;
    Control c(path("spool"), disk);
    QSignalSpy brokeOff(c.media.get(), &MediaControl::brokeOff);
    QCOMPARE(c.media->setCommand("record").reason(), QString());
    c.record(1); // the spool's first piece is flushed at once
    disk.flushesThatWork = flushesThatWork;
    disk.room = room;
    c.record(40);

    QTRY_VERIFY(!c.media->isRecording());
    QCOMPARE(brokeOff, QList<QVariantList>{{reason}});
    c.media->waitForStorage();
    const QString spool = QDir(path("spool")).entryInfoList({"take-*.wav"}).value(0).filePath();
    const qint64 onDisk = framesIn(disk.flushedSize(QFile::encodeName(spool)));
    QVERIFY2(onDisk >= piece && onDisk < c.sent / frameBytes, qPrintable(QString::number(onDisk)));
    // the take is what the disk holds, and so is the length the box gives
    QCOMPARE(c.media->lengthFrames(), onDisk);
    QCOMPARE(c.media->setCommand("stop").reason(), reason);

    // after a power cut the next start gets back just as much
    powerCut(path("spool"), path("left"), disk);
    disk.room = -1;
    disk.flushesThatWork = -1;
    Control next(path("left"), disk);
    const QList<LeftoverTake> takes = next.media->leftoverTakes();
    QCOMPARE(takes.size(), 1);
    QCOMPARE(takes.first().lengthMs, onDisk * 1000 / 44100);

    // and the recording saves whole, every frame as it came
    c.media->setFileName(path("kept.wav"));
    QCOMPARE(c.media->setCommand("save").reason(), QString());
    QFile saved(path("kept.wav"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.size(), 44 + onDisk * frameBytes);
    saved.seek(44);
    const QByteArray sound = saved.readAll();
    for (qsizetype b = 0; b < sound.size(); ++b)
        QCOMPARE(sound[b], char(b * 7));
}

void tst_StorageFaults::journal_neverNamesSoundTheSpoolHasNotFlushed()
{
    FaultyFileSystem disk;
    Control c(path("spool"), disk);
    // a power cut just before each flush and each rename: the moments around a Stop
    int cuts = 0;
    const auto cut = [&] {
        powerCut(path("spool"), path("cut%1").arg(++cuts), disk);
    };
    disk.beforeFlush = cut;
    disk.beforeRename = [&](const QByteArray &, const QByteArray &) {
        cut();
    };
    for (int take = 0; take < 3; ++take) {
        c.media->setCommand("record");
        c.record(6 + 5 * take);
        c.media->setCommand("stop");
        c.media->waitForStorage();
    }
    disk.beforeFlush = nullptr;
    disk.beforeRename = nullptr;
    QVERIFY(cuts > 10);

    for (int i = 1; i <= cuts; ++i) {
        const QDir left(path("cut%1").arg(i));
        const QStringList spools = left.entryList({"take-*.wav"});
        if (spools.isEmpty())
            continue;
        const qint64 spoolFrames = framesIn(QFileInfo(left.filePath(spools.first())).size());
        const Result<TakeJournal> journal = TakeJournal::read(
                left.filePath(spools.first() + ".journal"));
        if (!journal.ok())
            continue; // no journal yet: the whole spool comes back
        for (std::size_t p = 0; p < journal->pieces.size(); ++p) {
            const WavePiece &named = journal->pieces[p];
            if (named.source == WavePiece::Spool && int(p) != journal->growingPiece)
                QVERIFY2(named.start + named.frames <= spoolFrames,
                         qPrintable(QStringLiteral("cut %1: the journal names frame %2 of %3")
                                            .arg(i)
                                            .arg(named.start + named.frames)
                                            .arg(spoolFrames)));
        }
    }
}

void tst_StorageFaults::save_keepsTheOldFile_whenItsFlushFailsOrIsCancelled_data()
{
    QTest::addColumn<bool>("cancel"); // Cancel during the flush, or the flush fails
    QTest::addColumn<QString>("reason");
    QTest::newRow("flush fails") << false << u"磁盘读写出错"_qs;
    QTest::newRow("Cancel during the final flush") << true << u"保存已取消"_qs;
}

void tst_StorageFaults::save_keepsTheOldFile_whenItsFlushFailsOrIsCancelled()
{
    QFETCH(bool, cancel);
    QFETCH(QString, reason);
    const QString target = path("old.wav");
    QVERIFY(WavFixture::write(target,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 80)));
    QFile old(target);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = old.readAll();
    FaultyFileSystem disk;
    Control c(path("spool"), disk);
    c.media->setCommand("record");
    c.record(5);
    c.media->setCommand("stop");
    c.media->waitForStorage();

    if (cancel)
        disk.beforeFlush = [&c] {
            c.media->cancelSave();
        };
    else
        disk.flushesThatWork = 0;
    c.media->setFileName(target);
    QCOMPARE(c.media->setCommand("save").reason(), reason);
    QVERIFY(old.seek(0));
    QCOMPARE(old.readAll(), oldBytes);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.wav"});
}

void tst_StorageFaults::save_copiesWithoutTheKernel_whenItCannot()
{
    FaultyFileSystem disk;
    Control c(path("spool"), disk);
    c.media->setCommand("record");
    c.record(12);
    c.media->setCommand("stop");
    c.media->setFileName(path("kernel.wav"));
    QCOMPARE(c.media->setCommand("save").reason(), QString());
    disk.noKernelCopy = true;
    c.media->setFileName(path("plain.wav"));
    QCOMPARE(c.media->setCommand("save").reason(), QString());

    QFile kernel(path("kernel.wav"));
    QFile plain(path("plain.wav"));
    QVERIFY(kernel.open(QIODevice::ReadOnly) && plain.open(QIODevice::ReadOnly));
    QCOMPARE(plain.size(), 44 + 12 * piece * frameBytes);
    QVERIFY(plain.readAll() == kernel.readAll());
}

QTEST_GUILESS_MAIN(tst_StorageFaults)
#include "tst_storagefaults.moc"
