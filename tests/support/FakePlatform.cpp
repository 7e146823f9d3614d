#include "FakePlatform.h"

#include "core/TapewrenError.h"

void FakeCommonDialog::setFilter(const QString &value)
{
    calls << QStringLiteral("Filter ") + value;
    filter = value;
}

QString FakeCommonDialog::FileName() const
{
    if (fileNameRaises)
        throw TapewrenError(5, QStringLiteral("无效的过程调用"));
    return fileName;
}

void FakeCommonDialog::setFileName(const QString &value)
{
    calls << QStringLiteral("FileName ") + value;
    fileName = value;
}

void FakeCommonDialog::setCancelError(Flag value)
{
    calls << QStringLiteral("CancelError %1").arg(value);
    cancelError = value;
}

void FakeCommonDialog::show(const QString &which)
{
    calls << which;
    const std::optional<QString> answer = answers.isEmpty() ? std::nullopt : answers.dequeue();
    if (answer) {
        fileName = *answer;
        return;
    }
    if (cancelError == FlagTrue)
        throw TapewrenError(CancelErrorNumber, QStringLiteral("选择了“取消”"));
}

int FakeMessageBox::show(const QString &prompt, int style, const QString &title)
{
    shown.append({prompt, style, title});
    if (!answers.isEmpty())
        return answers.dequeue();
    return (style & 7) == OkOnly ? Ok : Cancel;
}

QDateTime FakeClock::now() const
{
    ++reads;
    if (raises)
        throw TapewrenError(6, QStringLiteral("溢出"));
    return time;
}

void FakeProgramEnd::endWith(int endStatus)
{
    ++ends;
    status = endStatus;
    throw ProgramEnded{};
}

Result<> FakeLauncher::openUrl(const QString &address)
{
    urls << address;
    if (!works)
        return Failure(QStringLiteral("无法打开网页"));
    return {};
}

Result<> FakeLauncher::startDetached(const QString &program, const QStringList &arguments)
{
    started << (QStringList{program} + arguments);
    if (!works)
        return Failure(QStringLiteral("无法启动程序"));
    return {};
}

Flag FakeInstanceGuard::PrevInstance()
{
    if (raises)
        throw TapewrenError(7, QStringLiteral("内存不足"));
    return answer;
}

void FakeSleepInhibitor::inhibit(const QString &reason)
{
    calls << QStringLiteral("inhibit ") + reason;
    held = true;
}

void FakeSleepInhibitor::release()
{
    calls << QStringLiteral("release");
    held = false;
}

void FakeProgressDialog::begin(const QString &label, std::function<void()> cancelTask)
{
    calls << QStringLiteral("begin ") + label;
    cancel = std::move(cancelTask);
}

void FakeProgressDialog::setProgress(qint64 done, qint64 total)
{
    calls << QStringLiteral("progress %1/%2").arg(done).arg(total);
}

void FakeProgressDialog::end()
{
    calls << QStringLiteral("end");
    cancel = nullptr;
}

quint32 FakeWaveDevice::setInputOutput(qint16 deviceId, quint32, quint32)
{
    calls << deviceId;
    return result;
}

QString FakeWaveDevice::errorText(quint32 code, int length) const
{
    return QStringLiteral("设备错误 %1").arg(code).left(length);
}

namespace {
template<typename Fake, typename Interface>
Fake &install(std::unique_ptr<Interface> &slot)
{
    auto fake = std::make_unique<Fake>();
    Fake &ref = *fake;
    slot = std::move(fake);
    return ref;
}
} // namespace

FakePlatform::FakePlatform()
    : cdg(install<FakeCommonDialog>(platform.cdg))
    , messageBox(install<FakeMessageBox>(platform.messageBox))
    , clock(install<FakeClock>(platform.clock))
    , programEnd(install<FakeProgramEnd>(platform.programEnd))
    , launcher(install<FakeLauncher>(platform.launcher))
    , programFolder(install<FakeProgramFolder>(platform.programFolder))
    , instanceGuard(install<FakeInstanceGuard>(platform.instanceGuard))
    , sleepInhibitor(install<FakeSleepInhibitor>(platform.sleepInhibitor))
    , progress(install<FakeProgressDialog>(platform.progress))
    , userInput(install<FakeUserInput>(platform.userInput))
    , commands(install<FakeCommandService>(platform.commands))
    , freeSpace(install<FakeFreeSpace>(platform.freeSpace))
{}
