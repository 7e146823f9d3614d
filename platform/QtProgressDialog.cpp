#include "platform/QtProgressDialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QWidget>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// A task shorter than this shows no dialog.
constexpr auto showAfter = 500ms;
constexpr int steps = 1000;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

QtProgressDialog::QtProgressDialog()
{
    m_showLater.setSingleShot(true);
    m_showLater.setInterval(showAfter);
    connect(&m_showLater, &QTimer::timeout, this, [this] {
        if (m_dialog)
            m_dialog->show();
    });
}

QtProgressDialog::~QtProgressDialog()
{
    end();
}

void QtProgressDialog::begin(const QString &label, std::function<void()> cancel)
{
    end();
    m_cancel = std::move(cancel);
    m_dialog = std::make_unique<QProgressDialog>(m_parent);
    m_dialog->setWindowTitle(QCoreApplication::applicationName());
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setLabelText(label);
    m_dialog->setCancelButtonText(QStringLiteral("取消"));
    auto *bar = new QProgressBar(m_dialog.get());
    bar->setFormat(QStringLiteral("已完成 %p%"));
    m_dialog->setBar(bar);
    m_dialog->setRange(0, steps);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    // it appears when this object says so, not by the dialog's own reckoning
    m_dialog->setMinimumDuration(std::numeric_limits<int>::max());
    m_dialog->hide();
    connect(m_dialog.get(), &QProgressDialog::canceled, this, [this] {
        // The window answers again at once, though the task may take a moment to stop.
        m_showLater.stop();
        m_dialog->hide();
        QCoreApplication::instance()->removeEventFilter(this);
        if (m_cancel)
            m_cancel();
    });
    QCoreApplication::instance()->installEventFilter(this);
    m_showLater.start();
}

void QtProgressDialog::setProgress(qint64 done, qint64 total)
{
    if (!m_dialog || total <= 0)
        return;
    const int value = int(std::clamp<qint64>(done * steps / total, 0, steps));
    if (value != m_dialog->value())
        m_dialog->setValue(value);
}

void QtProgressDialog::end()
{
    if (!m_dialog)
        return;
    QCoreApplication::instance()->removeEventFilter(this);
    m_showLater.stop();
    m_dialog->disconnect(this);
    m_dialog.reset();
    m_cancel = nullptr;
}

bool QtProgressDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_dialog || !m_parent || !isUserInput(event->type()))
        return false;
    // Only the window the task belongs to is held; the dialog and any box that comes up
    // meanwhile are windows of their own and take their input.
    const QWidget *window = m_parent->window();
    if (auto *widget = qobject_cast<QWidget *>(watched))
        return widget->window() == window;
    return watched->isWindowType() && watched == window->windowHandle();
}
