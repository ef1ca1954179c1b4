#include "ui/Overlay.h"

#include "support/MainThread.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

Overlay::Overlay() = default;

Overlay::~Overlay()
{
    delete panel_;
}

void Overlay::onMain(std::function<void()> work)
{
    if (MainThread::isCurrent())
        work();
    else
        MainThread::async(this, std::move(work));
}

void Overlay::buildIfNeeded()
{
    if (panel_)
        return;
    panel_ = new QLabel;
    panel_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    panel_->setAttribute(Qt::WA_ShowWithoutActivating);
    panel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    panel_->setFocusPolicy(Qt::NoFocus);
    panel_->setAlignment(Qt::AlignCenter);
    panel_->setMargin(14);
    panel_->setStyleSheet(QStringLiteral(
        "QLabel { background: #1d1d1f; color: white; border-radius: 12px; font-size: 15px; }"));
    hideTimer_ = new QTimer(this);
    hideTimer_->setSingleShot(true);
    connect(hideTimer_, &QTimer::timeout, this, [this] { panel_->hide(); });
}

void Overlay::present(const QString& text)
{
    buildIfNeeded();
    panel_->setText(text);
    panel_->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        panel_->move(area.center().x() - panel_->width() / 2, area.bottom() - 96 - panel_->height());
    }
    panel_->show();
    panel_->raise();
}

void Overlay::show(const QString& text)
{
    onMain([this, text] {
        buildIfNeeded();
        hideTimer_->stop();
        present(text);
    });
}

void Overlay::flash(const QString& text, double seconds)
{
    onMain([this, text, seconds] {
        show(text);
        hideTimer_->start(int(seconds * 1000));
    });
}

void Overlay::hide()
{
    onMain([this] {
        if (!panel_)
            return;
        hideTimer_->stop();
        panel_->hide();
    });
}

void Overlay::showRecordingBar(const QString& target, const QString& mic)
{
    onMain([this, target, mic] {
        recordingText_ = QStringLiteral("● %1 ・ %2").arg(target, mic);
        show(recordingText_);
    });
}

void Overlay::updateLevel(float) {}

void Overlay::updateLiveText(const QString& text)
{
    onMain([this, text] {
        if (panel_ && panel_->isVisible() && !recordingText_.isEmpty())
            present(recordingText_ + u'\n' + text);
    });
}

QString Overlay::visibleText() const
{
    return panel_ && panel_->isVisible() ? panel_->text() : QString();
}
