#pragma once

#include "media/server/WaveDevice.h"
#include "platform/Platform.h"

#include <QList>
#include <QQueue>
#include <QStringList>

#include <optional>

// Thrown by FakeProgramEnd: nothing after the end of the program may run.
struct ProgramEnded
{
};

class FakeCommonDialog : public CommonDialog
{
public:
    void setFilter(const QString &filter) override;
    QString FileName() const override;
    void setFileName(const QString &fileName) override;
    void setCancelError(Flag cancelError) override;
    void ShowOpen() override { show(QStringLiteral("ShowOpen")); }
    void ShowSave() override { show(QStringLiteral("ShowSave")); }

    // What the user does in each dialog shown: a path for OK, nullopt for Cancel.
    QQueue<std::optional<QString>> answers;
    bool fileNameRaises = false;
    QStringList calls;
    QString filter;
    QString fileName;
    Flag cancelError = FlagFalse;

private:
    void show(const QString &which);
};

class FakeMessageBox : public MessageBox
{
public:
    struct Shown
    {
        QString prompt;
        int style;
        QString title;
    };
    int show(const QString &prompt, int style, const QString &title) override;

    QList<Shown> shown;
    QQueue<int> answers; // empty: OK for OK-only boxes, Cancel otherwise
};

class FakeClock : public Clock
{
public:
    QDateTime now() const override;
    QDateTime time = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
    bool raises = false;
    mutable int reads = 0;
};

class FakeProgramEnd : public ProgramEnd
{
public:
    [[noreturn]] void endWith(int status) override;
    int ends = 0;
    int status = -1; // the last end's
};

class FakeLauncher : public Launcher
{
public:
    Result<> openUrl(const QString &address) override;
    Result<> startDetached(const QString &program, const QStringList &arguments) override;
    QStringList urls;
    QList<QStringList> started; // program first, then its arguments
    bool works = true;
};

class FakeProgramFolder : public ProgramFolder
{
public:
    QString path() const override { return folder; }
    QString folder = QStringLiteral("/opt/tapewren");
};

class FakeInstanceGuard : public InstanceGuard
{
public:
    Flag PrevInstance() override;
    Flag answer = FlagFalse;
    bool raises = false;
};

// Counts what is taken and given back.
class FakeSleepInhibitor : public SleepInhibitor
{
public:
    void inhibit(const QString &reason) override;
    void release() override;
    bool held = false;
    QStringList calls; // "inhibit <reason>", "release"
};

// Records what it is told; the test plays the user's Cancel through cancel.
class FakeProgressDialog : public ProgressDialog
{
public:
    void begin(const QString &label, std::function<void()> cancel) override;
    void setProgress(qint64 done, qint64 total) override;
    void end() override;
    QStringList calls; // "begin <label>", "progress <done>/<total>", "end"
    std::function<void()> cancel;
};

class FakeUserInput : public UserInput
{
public:
    bool blocked() const override { return isBlocked; }
    bool isBlocked = false;
};

// Holds the handler it was offered; a test calls it as the bus would.
class FakeCommandService : public CommandService
{
public:
    void offer(CommandHandler &offered) override { handler = &offered; }
    CommandHandler *handler = nullptr;
};

// Records the folders asked about; a test answers with emit measured().
class FakeFreeSpace : public FreeSpace
{
    Q_OBJECT

public:
    void ask(const QString &folder) override { asked << folder; }
    QStringList asked;
};

class FakeWaveDevice : public WaveDevice
{
public:
    quint32 setInputOutput(qint16 deviceId, quint32 wInput, quint32 wOutput) override;
    QString errorText(quint32 code, int length) const override;
    quint32 result = Success;
    QList<qint16> calls;
};

// A Platform made of fakes, with typed access to each for scripting and checking, and a fake
// wave device set-up call beside it.
struct FakePlatform
{
    FakePlatform();

    Platform platform;
    FakeCommonDialog &cdg;
    FakeMessageBox &messageBox;
    FakeClock &clock;
    FakeProgramEnd &programEnd;
    FakeLauncher &launcher;
    FakeProgramFolder &programFolder;
    FakeInstanceGuard &instanceGuard;
    FakeSleepInhibitor &sleepInhibitor;
    FakeProgressDialog &progress;
    FakeUserInput &userInput;
    FakeCommandService &commands;
    FakeFreeSpace &freeSpace;
    FakeWaveDevice waveDevice;
};
