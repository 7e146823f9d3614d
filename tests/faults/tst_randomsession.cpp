#include "ButtonStates.h"
#include "FakeMediaControl.h"
#include "FakePlatform.h"
#include "SyntheticAudioInput.h"
#include "SyntheticAudioOutput.h"
#include "WavFixture.h"

#include "app/FrmMain.h"
#include "media/WaveMediaControl.h"
#include "recorder/RecorderController.h"
#include "recorder/StatusTexts.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sndfile.h>

#include <functional>

// Thousands of seeded random user actions on a real window. After each one the buttons must
// match the state the status line shows, IsModified must follow the user's actions, and only
// the untrapped handlers may end the program, through the error report.
//
// TAPEWREN_RANDOM_SEED repeats a failed run; TAPEWREN_RANDOM_ACTIONS makes a longer one.

namespace {

using namespace StatusTexts;

enum class Shown { Ready, Recording, Playing };
// How the step under way may end the program: not at all, through the untrapped-error report,
// or (it must) through exit.
enum class End { Never, Report, Exit };

const QString ReportPrefix = QStringLiteral("运行时错误");

quint32 seedFromEnvironment()
{
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("TAPEWREN_RANDOM_SEED").toUInt(&ok);
    return ok ? seed : QRandomGenerator::global()->generate();
}

int actionsFromEnvironment()
{
    bool ok = false;
    const int actions = qEnvironmentVariableIntValue("TAPEWREN_RANDOM_ACTIONS", &ok);
    return ok && actions > 0 ? actions : 2500;
}

// One run of the program: the window over the fakes and a media control.
struct Session
{
    Session(MediaControl &media)
        : frmMain(fakes.platform, media, fakes.waveDevice)
        , ui(frmMain.controls())
    {}

    QString buttons() const { return buttonStates(ui); }

    FakePlatform fakes;
    FrmMain frmMain;
    const FrmMainUi &ui;
};

class Explorer
{
public:
    Explorer(quint32 seed, bool realMedia, const QString &folder)
        : m_random(seed)
        , m_seed(seed)
        , m_realMedia(realMedia)
        , m_folder(folder)
    {
        QDir(folder).mkdir(QStringLiteral("spool"));
        QDir(folder).mkdir(QStringLiteral("saved"));
        m_goodFiles = {writeTone(QStringLiteral("mono 8k.wav"), 8000, 1, 4000),
                       writeTone(QStringLiteral("立体声.wav"), 44100, 2, 22050)};
        QFile text(m_folder + QStringLiteral("/notes.wav"));
        if (text.open(QIODevice::WriteOnly))
            text.write("RIFF but not really a sound file at all");
        m_badFiles = {text.fileName(), m_folder + QStringLiteral("/missing.wav"), m_folder};
        start();
    }

    // Runs one random action and checks what follows; false once a check failed.
    bool step(int index)
    {
        m_index = index;
        const std::vector<std::pair<QString, std::function<void()>>> actions = choices();
        const auto &[name, run] = actions[m_random.bounded(quint32(actions.size()))];
        m_action = name;
        m_session->fakes.messageBox.shown.clear();
        if (!m_realMedia) {
            injectFaults();
            m_fake->calls.clear();
        }
        try {
            run();
        } catch (const ProgramEnded &) {
            if (!expect(m_endHow != End::Never, QStringLiteral("the program ended")) || !checkEnd()
                || !checkSavedFiles())
                return false;
            ++m_ends;
            start();
            return true;
        } catch (const std::exception &e) {
            return expect(false,
                          QStringLiteral("exception escaped: ") + QString::fromUtf8(e.what()));
        }
        if (!expect(m_endHow != End::Exit, QStringLiteral("exit did not end the program")))
            return false;
        if (!expect(!raisedInUntrapped(),
                    QStringLiteral("a raising member did not end the program")))
            return false;
        m_endHow = End::Never;
        return checkInvariants();
    }

    QString where() const
    {
        return QStringLiteral("seed %1, action %2 (%3)").arg(m_seed).arg(m_index).arg(m_action);
    }
    int ends() const { return m_ends; }

private:
    QString writeTone(const QString &name, int rate, int channels, qint64 frames)
    {
        const QString path = m_folder + QLatin1Char('/') + name;
        WavFixture::write(path,
                          WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                             rate,
                                             channels,
                                             frames));
        m_fileFrames[path] = frames;
        return path;
    }

    void start()
    {
        m_session.reset();
        m_wave.reset();
        m_fake.reset();
        if (m_realMedia) {
            auto input = std::make_unique<SyntheticAudioInput>();
            auto output = std::make_unique<SyntheticAudioOutput>();
            m_input = input.get();
            m_output = output.get();
            m_wave = std::make_unique<WaveMediaControl>(std::move(input), std::move(output));
            m_wave->setSpoolFolder(m_folder + QStringLiteral("/spool"));
            m_session = std::make_unique<Session>(*m_wave);
        } else {
            m_fake = std::make_unique<FakeMediaControl>();
            m_session = std::make_unique<Session>(*m_fake);
        }
        m_session->frmMain.Form_Load();
        m_session->frmMain.show();
        m_modified = false;
        m_capturing = false;
        m_frames = 0;
        m_urls = 0;
        m_endHow = End::Never;
    }

    RecorderController &recorder() { return m_session->frmMain.recorder(); }
    const FrmMainUi &ui() const { return m_session->ui; }

    Shown shown() const
    {
        const QString status = ui().Lblread->text();
        if (status == PlayingText)
            return Shown::Playing;
        if (status.startsWith(RecordStartPrefix))
            return Shown::Recording;
        return Shown::Ready;
    }

    std::vector<std::pair<QString, std::function<void()>>> choices()
    {
        std::vector<std::pair<QString, std::function<void()>>> c;
        const FrmMainUi &u = ui();
        if (u.cmdNew->isEnabled())
            c.emplace_back(QStringLiteral("New"), [this] { clickNew(); });
        if (u.cmdRecord->isEnabled())
            c.emplace_back(QStringLiteral("Record"), [this] { clickRecord(); });
        if (u.cmdPlay->isEnabled())
            c.emplace_back(QStringLiteral("Play"), [this] { clickPlay(); });
        if (u.cmdStop->isEnabled()) {
            c.emplace_back(QStringLiteral("Stop"), [this] { clickStop(); });
            c.emplace_back(QStringLiteral("Stop"), [this] { clickStop(); });
        }
        if (u.cmdSave->isEnabled())
            c.emplace_back(QStringLiteral("Save"), [this] { clickSave(); });
        c.emplace_back(QStringLiteral("Open"), [this] { clickOpen(); });
        // rarely, so sessions grow long before they end
        if (m_random.bounded(4) == 0)
            c.emplace_back(QStringLiteral("Exit"), [this] { clickExit(); });
        if (u.TimerBar->isActive())
            c.emplace_back(QStringLiteral("Tick"), [this] { tick(); });
        c.emplace_back(QStringLiteral("StatusUpdate"), [this] { statusUpdate(); });
        if (m_realMedia) {
            for (int i = 0; i < 3; ++i)
                c.emplace_back(QStringLiteral("Audio"), [this] { moveAudio(); });
            if (m_wave->isRecording() || m_wave->isPlaying())
                c.emplace_back(QStringLiteral("ServerLost"), [this] { serverLost(); });
        }
        return c;
    }

    // The user's mouse in the run over the real media control; in the run whose media control
    // raises, the way the window delivers a click, so the program's end reaches the test.
    void click(QPushButton *button, void (FrmMain::*handler)())
    {
        if (m_realMedia)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            m_session->frmMain.deliver(handler);
    }

    void clickNew()
    {
        m_endHow = m_realMedia ? End::Never : End::Report;
        click(ui().cmdNew, &FrmMain::cmdNew_Click);
        m_modified = false;
        m_frames = 0;
    }

    void clickRecord()
    {
        const bool refused = m_realMedia ? m_random.bounded(8) == 0
                                         : m_fake->refusing.contains(QStringLiteral("record"))
                                                   && !m_fake->raising.contains(
                                                           QStringLiteral("Command record"));
        if (refused && m_realMedia)
            m_input->failNextStart(QStringLiteral("声音设备不支持这种声音格式"));
        click(ui().cmdRecord, &FrmMain::cmdRecord_Click);
        if (refused) {
            m_refusalShown = true;
            return;
        }
        m_modified = true;
        m_capturing = true;
    }

    void clickPlay()
    {
        m_endHow = m_realMedia ? End::Never : End::Report;
        m_capturing = false;
        click(ui().cmdPlay, &FrmMain::cmdPlay_Click);
    }

    void clickStop()
    {
        m_endHow = m_realMedia ? End::Never : End::Report;
        m_capturing = false;
        click(ui().cmdStop, &FrmMain::cmdStop_Click);
    }

    // A path for the Save dialog: good (possibly over an earlier file) or in a missing folder.
    std::optional<QString> saveAnswer(bool *good)
    {
        const quint32 pick = m_random.bounded(6);
        *good = pick < 4;
        if (pick == 4)
            return std::nullopt;
        if (pick == 5)
            return m_folder + QStringLiteral("/no such folder/take.wav");
        return m_folder + QStringLiteral("/saved/录音 %1.wav").arg(pick);
    }

    // Queues the Save dialog's answer; settleSave() then books what the save leaves.
    void answerSave(const std::optional<QString> &answer, bool good)
    {
        m_session->fakes.cdg.answers.enqueue(answer);
        ++m_urls;
        m_savePending = answer.has_value();
        m_saveGood = good;
        m_savePath = answer.value_or(QString());
    }

    void clickSave()
    {
        bool good = false;
        const std::optional<QString> answer = saveAnswer(&good);
        answerSave(answer, good);
        click(ui().cmdSave, &FrmMain::cmdSave_Click);
        settleSave();
    }

    // What a save attempt leaves, once it has run.
    void settleSave()
    {
        if (!m_savePending)
            return;
        m_savePending = false;
        const bool written = m_realMedia ? m_saveGood : saveWorksOnFake();
        if (written) {
            m_modified = false;
            if (m_realMedia)
                m_savedChecks.append({m_savePath, m_frames});
        } else {
            m_failedSave = m_savePath;
        }
    }

    bool saveWorksOnFake() const
    {
        return !m_fake->raising.contains(QStringLiteral("Command save"))
               && !m_fake->refusing.contains(QStringLiteral("save"));
    }

    void clickOpen()
    {
        const quint32 pick = m_random.bounded(5);
        std::optional<QString> answer;
        bool good = false;
        if (pick < 2) {
            answer = m_goodFiles[pick];
            good = true;
        } else if (pick < 4) {
            answer = m_badFiles[m_random.bounded(quint32(m_badFiles.size()))];
        }
        if (!m_realMedia && answer && !good)
            m_fake->badFiles[*answer] = QStringLiteral("不是有效的 WAV 文件");
        m_session->fakes.cdg.answers.enqueue(answer);
        click(ui().cmdOpen, &FrmMain::cmdOpen_Click);
        if (!answer)
            return;
        if (!good) {
            m_failedOpen = *answer;
            return;
        }
        m_modified = false;
        m_capturing = false;
        m_frames = m_fileFrames.value(*answer);
    }

    void clickExit()
    {
        const int answer = std::array{MessageBox::Yes,
                                      MessageBox::No,
                                      MessageBox::Cancel}[m_random.bounded(3)];
        m_session->fakes.messageBox.answers.enqueue(answer);
        bool good = false;
        std::optional<QString> path;
        if (m_modified && answer == MessageBox::Yes) {
            path = saveAnswer(&good);
            answerSave(path, good);
        }
        // Exit ends the program unless the user keeps the unsaved recording
        const bool saves = path && (m_realMedia ? good : saveWorksOnFake());
        const bool ends = !m_modified || answer == MessageBox::No
                          || (answer == MessageBox::Yes && saves);
        m_endHow = ends ? End::Exit : End::Never;
        if (!m_modified)
            m_session->fakes.messageBox.answers.clear();
        try {
            m_session->frmMain.deliver(&FrmMain::cmdExit_Click);
        } catch (const ProgramEnded &) {
            settleSave();
            throw;
        }
        settleSave();
    }

    void tick()
    {
        m_session->fakes.clock.time = m_session->fakes.clock.time.addSecs(1);
        m_session->frmMain.TimerBar_Timer();
        m_ticked = true;
    }

    void statusUpdate()
    {
        if (!m_realMedia && m_random.bounded(2) == 0) {
            m_fake->position = m_fake->length;
        } else if (!m_realMedia) {
            m_fake->length = qint32(m_random.bounded(5000));
            m_fake->position = qint32(m_random.bounded(5000));
        }
        MediaControl &media = m_realMedia ? static_cast<MediaControl &>(*m_wave) : *m_fake;
        emit media.StatusUpdate();
    }

    // Sound arriving while recording, or the sink pulling while playing.
    void moveAudio()
    {
        if (m_wave->isRecording()) {
            const qint64 frames = m_random.bounded(1, 4410);
            QByteArray bytes(frames * m_input->format().bytesPerFrame(), Qt::Uninitialized);
            for (char &b : bytes)
                b = char(m_random.bounded(256));
            m_input->push(bytes, qsizetype(m_random.bounded(1, 5000)));
            m_wave->waitForStorage(); // written on the storage thread meanwhile
            m_frames += frames;
        } else if (m_wave->isPlaying()) {
            m_output->pull(qint64(m_random.bounded(1, 20000)));
        }
    }

    // The window returns to ready by itself and says so.
    void serverLost()
    {
        if (m_wave->isRecording()) {
            m_input->breakOff(QStringLiteral("与声音服务器的连接中断"));
            m_capturing = false;
        } else {
            m_output->breakOff(QStringLiteral("与声音服务器的连接中断"));
        }
        m_brokeOff = true;
    }

    // In the run over the fake media control, members raise at random.
    void injectFaults()
    {
        static const QStringList members = {QStringLiteral("Command close"),
                                            QStringLiteral("Command open"),
                                            QStringLiteral("Command record"),
                                            QStringLiteral("Command stop"),
                                            QStringLiteral("Command prev"),
                                            QStringLiteral("Command play"),
                                            QStringLiteral("Command save"),
                                            QStringLiteral("FileName new"),
                                            QStringLiteral("DeviceID"),
                                            QStringLiteral("Position"),
                                            QStringLiteral("Length")};
        m_fake->raising.clear();
        m_fake->refusing.clear();
        if (m_random.bounded(8) == 0)
            m_fake->raising.insert(members[m_random.bounded(quint32(members.size()))]);
        if (m_random.bounded(10) == 0)
            m_fake->refusing.insert(QStringLiteral("record"), QStringLiteral("设备忙"));
        if (m_random.bounded(10) == 0)
            m_fake->refusing.insert(QStringLiteral("save"), QStringLiteral("磁盘已满"));
    }

    // The program may end from an untrapped handler only after the error report, and from exit
    // only without one.
    bool checkEnd()
    {
        const QList<FakeMessageBox::Shown> &boxes = m_session->fakes.messageBox.shown;
        const bool reported = std::any_of(boxes.begin(),
                                          boxes.end(),
                                          [](const FakeMessageBox::Shown &b) {
                                              return b.prompt.startsWith(ReportPrefix)
                                                     && (b.style & 0xF0) == MessageBox::Critical;
                                          });
        if (m_endHow == End::Report)
            return expect(reported, QStringLiteral("ended without the error report"));
        // an exit is an end the user chose: the recording's spool goes with it
        if (m_realMedia
            && !expect(spoolFolder().isEmpty(),
                       QStringLiteral("exit left in the spool folder: ") + spoolFolder().join(',')))
            return false;
        return expect(!reported, QStringLiteral("exit showed an error report"));
    }

    // Whether an untrapped handler met a raising member and still returned.
    bool raisedInUntrapped() const
    {
        if (m_realMedia || m_endHow != End::Report)
            return false;
        return std::any_of(m_fake->calls.begin(), m_fake->calls.end(), [this](const QString &call) {
            return m_fake->raising.contains(call);
        });
    }

    QStringList spoolFolder() const
    {
        if (m_wave)
            m_wave->waitForStorage();
        return QDir(m_folder + QStringLiteral("/spool"))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    bool checkSavedFiles()
    {
        for (const auto &[path, frames] : std::as_const(m_savedChecks)) {
            const qint64 got = WavFixture::read(path).frames();
            if (!expect(got == frames,
                        QStringLiteral("%1 holds %2 frames, expected %3")
                                .arg(path)
                                .arg(got)
                                .arg(frames)))
                return false;
        }
        m_savedChecks.clear();
        return true;
    }

    bool expect(bool condition, const QString &what)
    {
        if (!condition)
            m_failure = what;
        return condition;
    }

public:
    QString failure() const { return m_failure; }

private:
    bool checkInvariants()
    {
        const Shown state = shown();
        const QString expected = state == Shown::Ready ? QStringLiteral("1 1 1 0 1")
                                                       : QStringLiteral("0 0 0 1 0");
        if (!expect(m_session->buttons() == expected,
                    QStringLiteral("buttons %1 for status \"%2\"")
                            .arg(m_session->buttons(), ui().Lblread->text())))
            return false;
        if (!expect((recorder().IsModified == FlagTrue) == m_modified,
                    QStringLiteral("IsModified %1").arg(recorder().IsModified)))
            return false;
        if (!expect(recorder().IsModified == FlagTrue || recorder().IsModified == FlagFalse,
                    QStringLiteral("IsModified holds %1").arg(recorder().IsModified)))
            return false;
        if (!expect(!ui().TimerBar->isActive() || state == Shown::Recording,
                    QStringLiteral("the clock runs outside recording")))
            return false;
        if (m_ticked) {
            m_ticked = false;
            if (!expect(ui().LblFile->text().startsWith(QStringLiteral("录音时间：")),
                        QStringLiteral("the clock shows \"%1\"").arg(ui().LblFile->text())))
                return false;
        }
        const FakePlatform &fakes = m_session->fakes;
        if (!expect(fakes.launcher.urls.size() == m_urls,
                    QStringLiteral("%1 pages opened for %2 saves")
                            .arg(fakes.launcher.urls.size())
                            .arg(m_urls)))
            return false;
        if (!checkMessages())
            return false;
        return m_realMedia ? checkMedia(state) : true;
    }

    // The messages a step showed: the reasons for a refused record, a failed save or a bad
    // file, and the untrapped-error report only on the way to the program's end.
    bool checkMessages()
    {
        const QList<FakeMessageBox::Shown> shownBoxes = m_session->fakes.messageBox.shown;
        for (const FakeMessageBox::Shown &box : shownBoxes) {
            if (!expect(!box.prompt.startsWith(ReportPrefix),
                        QStringLiteral("error report without the end: ") + box.prompt))
                return false;
        }
        const auto mentions = [&](const QString &text) {
            return std::any_of(shownBoxes.begin(),
                               shownBoxes.end(),
                               [&](const FakeMessageBox::Shown &b) {
                                   return b.prompt.contains(text);
                               });
        };
        bool ok = true;
        if (!m_failedSave.isEmpty())
            ok = expect(mentions(m_failedSave), QStringLiteral("no message for the failed save"));
        if (ok && !m_failedOpen.isEmpty())
            ok = expect(mentions(m_failedOpen), QStringLiteral("no message for the bad file"));
        if (ok && m_refusalShown)
            ok = expect(!shownBoxes.isEmpty(), QStringLiteral("no message for a refused record"));
        if (ok && m_brokeOff)
            ok = expect(mentions(QStringLiteral("已中断：与声音服务器的连接中断")),
                        QStringLiteral("no message for the lost server"));
        m_failedSave.clear();
        m_failedOpen.clear();
        m_refusalShown = false;
        m_brokeOff = false;
        return ok;
    }

    bool checkMedia(Shown state)
    {
        if (!expect(m_wave->isRecording() == m_capturing,
                    QStringLiteral("recording %1, expected %2")
                            .arg(m_wave->isRecording())
                            .arg(m_capturing)))
            return false;
        if (!expect(!m_wave->isRecording() || state == Shown::Recording,
                    QStringLiteral("recording while the window shows another state")))
            return false;
        if (!expect(!m_wave->isPlaying() || state == Shown::Playing,
                    QStringLiteral("playing while the window shows another state")))
            return false;
        if (!expect(m_wave->lengthFrames() == m_frames,
                    QStringLiteral("length %1 frames, expected %2")
                            .arg(m_wave->lengthFrames())
                            .arg(m_frames)))
            return false;
        // at most the open recording's spool and its journal
        const QStringList spool = spoolFolder();
        if (!expect(spool.size() <= 2,
                    QStringLiteral("files in the spool folder: ") + spool.join(',')))
            return false;
        const QStringList saved = QDir(m_folder + QStringLiteral("/saved"))
                                          .entryList(QDir::AllEntries | QDir::NoDotAndDotDot
                                                     | QDir::Hidden);
        for (const QString &name : saved) {
            if (!expect(name.startsWith(QStringLiteral("录音 ")),
                        QStringLiteral("left behind in the save folder: ") + name))
                return false;
        }
        return checkSavedFiles();
    }

    QRandomGenerator m_random;
    quint32 m_seed;
    bool m_realMedia;
    QString m_folder;
    QStringList m_goodFiles;
    QStringList m_badFiles;
    QHash<QString, qint64> m_fileFrames;

    std::unique_ptr<WaveMediaControl> m_wave;
    std::unique_ptr<FakeMediaControl> m_fake;
    SyntheticAudioInput *m_input = nullptr;
    SyntheticAudioOutput *m_output = nullptr;
    std::unique_ptr<Session> m_session;

    // what the user's actions so far make of the session
    bool m_modified = false;
    bool m_capturing = false;
    qint64 m_frames = 0;
    qsizetype m_urls = 0;
    End m_endHow = End::Never;
    bool m_ticked = false;
    bool m_refusalShown = false;
    bool m_brokeOff = false;
    bool m_savePending = false;
    bool m_saveGood = false;
    QString m_savePath;
    QString m_failedSave;
    QString m_failedOpen;
    QList<std::pair<QString, qint64>> m_savedChecks;

    int m_index = 0;
    QString m_action;
    QString m_failure;
    int m_ends = 0;
};

} // namespace

class tst_RandomSession : public QObject
{
    Q_OBJECT

private slots:
    void randomActions_keepStateTableAndModifiedFlag_data();
    void randomActions_keepStateTableAndModifiedFlag();
};

void tst_RandomSession::randomActions_keepStateTableAndModifiedFlag_data()
{
    QTest::addColumn<bool>("realMedia");
    QTest::newRow("wave media control, synthetic sound") << true;
    QTest::newRow("media control that raises") << false;
}

void tst_RandomSession::randomActions_keepStateTableAndModifiedFlag()
{
    QFETCH(bool, realMedia);
    const quint32 seed = seedFromEnvironment();
    const int actions = actionsFromEnvironment();
    qInfo("seed %u, %d actions (repeat with TAPEWREN_RANDOM_SEED=%u)", seed, actions, seed);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    Explorer explorer(seed, realMedia, folder.path());
    for (int i = 0; i < actions; ++i) {
        const bool ok = explorer.step(i);
        QVERIFY2(ok, qPrintable(explorer.where() + QStringLiteral(": ") + explorer.failure()));
    }
    qInfo("%d program ends", explorer.ends());
}

QTEST_MAIN(tst_RandomSession)
#include "tst_randomsession.moc"
