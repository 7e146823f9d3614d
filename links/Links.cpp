#include "links/Links.h"

#include "core/Skip.h"
#include "core/TapewrenError.h"
#include "core/Twips.h"
#include "links/LinkAddresses.h"
#include "platform/Launcher.h"
#include "platform/ProgramFolder.h"

#include <QLoggingCategory>
#include <QWidget>

#include <cmath>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcLinks, "tapewren.links", QtInfoMsg)

constexpr double GrowthFactor = 1.1;
constexpr int Overflow = 6;
const QString ReadmeName = QStringLiteral("readme.txt");

// The window says nothing when a page or program does not open; the log does.
void logFailure(const Result<> &launched)
{
    if (!launched.ok())
        qCInfo(lcLinks).noquote() << launched.reason();
}

} // namespace

Links::Links(Launcher &launcher, const ProgramFolder &programFolder, const Window &window)
    : m_launcher(launcher)
    , m_programFolder(programFolder)
    , m_window(window)
{}

void Links::cmdMp3Conv_Click()
{
    Skip::statement([&] { logFailure(m_launcher.openUrl(QString(LinkAddresses::softwarePage))); });
}

void Links::cmdTuLing_Click()
{
    Skip::statement([&] { logFailure(m_launcher.openUrl(QString(LinkAddresses::ringtonesPage))); });
}

void Links::cmdTV_Click()
{
    Skip::statement([&] { logFailure(m_launcher.openUrl(QString(LinkAddresses::filmTvPage))); });
}

void Links::picOrbanet_Click()
{
    Skip::statement([&] { logFailure(m_launcher.openUrl(QString(LinkAddresses::homePage))); });
}

void Links::ShowHelp()
{
    // The path travels as one argument, so blanks, quotes and Chinese in the folder are safe.
    Skip::statement([&] {
        const QString readme = m_programFolder.path() + QLatin1Char('/') + ReadmeName;
#ifdef Q_OS_WIN
        logFailure(m_launcher.startDetached(QStringLiteral("notepad.exe"), {readme}));
#else
        logFailure(m_launcher.startDetached(QStringLiteral("xdg-open"), {readme}));
#endif
    });
}

void Links::cmdSetRecord_Click()
{
    Skip::statement([&] {
#ifdef Q_OS_WIN
        logFailure(
                m_launcher.startDetached(QStringLiteral("sndvol32.exe"), {QStringLiteral("/r")}));
#else
        logFailure(m_launcher.startDetached(QStringLiteral("pavucontrol"),
                                            {QStringLiteral("--tab=4")}));
#endif
    });
}

void Links::picZZ_Click()
{
    Skip::statement([&] {
        const auto bannerHeight = static_cast<float>(
                Twips::fromPixels(m_window.picOrbanet->height()));
        const auto windowHeight = static_cast<float>(Twips::fromPixels(m_window.frmMain->height()));
        const double grown = double(windowHeight) + double(bannerHeight) * GrowthFactor;
        if (!std::isfinite(grown) || std::abs(grown) > std::numeric_limits<float>::max())
            throw TapewrenError(Overflow, QStringLiteral("溢出"));
        const float newHeight = static_cast<float>(grown);
        m_window.frmMain->setFixedHeight(Twips::toPixels(newHeight));
    });
    Skip::statement([&] { m_window.picZZ->hide(); });
}
