#include "ui/Overlay.h"

#include "platform/BarSurface.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "support/MainThread.h"
#include "ui/Brand.h"
#include "ui/OverlayGeometry.h"
#include "ui/OverlayWidgets.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cmath>

using namespace OverlayWidgets;
namespace G = OverlayGeometry;

namespace {

// The system's red for the update notice.
const QColor noticeRed{255, 59, 48};

}  // namespace

Overlay::Overlay(std::unique_ptr<BarSurface> surface)
    : newerVersion([] { return UpdateNotice::新しい版(); }),
      surface_(std::move(surface)),
      live_(Brand::font(12), G::liveWidth)
{
    levelTimer_ = new QTimer(this);
    levelTimer_->setInterval(levelFrameMs);
    connect(levelTimer_, &QTimer::timeout, this, [this] { levelFrame(); });
}

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
    panel_ = new Panel;
    panel_->resize(G::barWidth, G::barHeight);
    panel_->setClickThrough(true);
    panel_->onDragged = [this] { panelMoved(); };
    panel_->onDoubleClicked = [this](QPoint p) { doubleClicked(p); };

    // The label is 10 points wider than its text; centring it keeps the card's
    // two sides even.
    label_ = new TextLine(panel_, Brand::font(13, QFont::Medium), Brand::ink, Qt::AlignHCenter);
    label_->setObjectName(QStringLiteral("message"));
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);

    barView_ = new QWidget(panel_);
    barView_->setObjectName(QStringLiteral("bar"));
    barView_->setGeometry(0, 0, G::barWidth, G::barHeight);
    barView_->hide();

    liveLabel_ = new LiveText(barView_, Brand::font(12), Brand::withAlpha(Brand::ink, 0.45));
    liveLabel_->setObjectName(QStringLiteral("live"));
    dot_ = new LevelDot(barView_);
    targetLabel_ = new TextLine(barView_, Brand::font(13, QFont::DemiBold), Brand::ink, Qt::AlignLeft);
    targetLabel_->setObjectName(QStringLiteral("target"));
    targetLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    micLabel_ = new TextLine(barView_, Brand::font(11), Brand::withAlpha(Brand::ink, 0.45), Qt::AlignRight);
    micLabel_->setObjectName(QStringLiteral("mic"));
    micLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);

    cancelButton_ = new BarButton(barView_, BarButton::cancel);
    cancelButton_->setToolTip(QStringLiteral("取り消し（esc）"));
    QObject::connect(cancelButton_, &BarButton::clicked, this, &OverlayView::cancelClicked);
    stopButton_ = new BarButton(barView_, BarButton::stop);
    stopButton_->setToolTip(QStringLiteral("確定して貼り付け"));
    QObject::connect(stopButton_, &BarButton::clicked, this, &OverlayView::stopClicked);

    QFont noticeFont = Brand::font(10.5, QFont::Medium);
    updateLabel_ = new TextLine(barView_, noticeFont, noticeRed, Qt::AlignHCenter);
    updateLabel_->setObjectName(QStringLiteral("update"));
    updateLabel_->setToolTip(QStringLiteral("押すと更新を始めます"));
    updateLabel_->setCursor(Qt::PointingHandCursor);
    updateLabel_->onClick = [this] { Q_EMIT updateClicked(); };
    updateLabel_->hide();

    hideTimer_ = new QTimer(this);
    hideTimer_->setSingleShot(true);
    connect(hideTimer_, &QTimer::timeout, this, [this] { hide(); });

    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(int(saveDelaySeconds * 1000));
    connect(saveTimer_, &QTimer::timeout, this, [] { Config::save(); });
}

void Overlay::show(const QString& text)
{
    onMain([this, text] { showNow(text); });
}

void Overlay::showNow(const QString& text)
{
    if (hideTimer_)
        hideTimer_->stop();
    buildIfNeeded();
    barView_->hide();
    label_->show();
    panel_->setClickThrough(true);  // messages never catch the mouse

    label_->setText(text);
    const QSizeF size = label_->textSize();
    const int width = G::messageWidth(size);
    const int height = int(std::ceil(size.height()));
    label_->setGeometry(22, 11, width - 44, height);
    placePanel(width, height + 22);
    showOnTop();
    announce(text);
}

void Overlay::announce(const QString& state)
{
    // A status: the panel never takes the focus, a screen reader hears the change of its name.
    panel_->setAccessibleName(state);
    QAccessibleEvent event(panel_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void Overlay::flash(const QString& text, double seconds)
{
    onMain([this, text, seconds] {
        showNow(text);
        hideTimer_->start(qMax(0, int(std::lround(seconds * 1000))));
    });
}

void Overlay::hide()
{
    onMain([this] {
        if (hideTimer_)
            hideTimer_->stop();
        if (panel_ && surface_)
            surface_->hide(panel_);
        else if (panel_)
            panel_->hide();
    });
}

void Overlay::showRecordingBar(const QString& target, const QString& mic)
{
    onMain([this, target, mic] {
        if (hideTimer_)
            hideTimer_->stop();
        buildIfNeeded();
        label_->hide();
        barView_->show();

        targetLabel_->setText(QStringLiteral("→ ") + target);
        micLabel_->setText(mic);

        const std::optional<QString> version = newerVersion ? newerVersion() : std::nullopt;
        const int height = version ? G::barHeightWithNotice : G::barHeight;
        barView_->setGeometry(0, 0, G::barWidth, height);
        liveLabel_->setGeometry(G::liveFrame(height));
        dot_->setDotFrame(G::dotFrame(height));
        cancelButton_->setGeometry(G::cancelFrame(height));
        stopButton_->setGeometry(G::stopFrame(height));
        layoutBarLabels();

        live_.reset();
        liveLabel_->setText(QString());
        dot_->reset();

        panel_->setClickThrough(false);

        if (version) {
            updateLabel_->setText(QStringLiteral("新しい版 {version} があります — ここを押すと更新できます")
                                      .replace(QStringLiteral("{version}"), *version));
            updateLabel_->setGeometry(G::updateFrame(height));
            updateLabel_->show();
        } else {
            updateLabel_->hide();
        }
        placePanel(G::barWidth, height);
        showOnTop();
        announce(QStringLiteral("録音中 ") + targetLabel_->text());
    });
}

void Overlay::layoutBarLabels()
{
    const int height = barView_->height();
    auto needed = [](const TextLine* field) { return std::ceil(field->textSize().width()) + 6; };
    const auto widths = G::labelWidths(needed(targetLabel_), needed(micLabel_));
    targetLabel_->setGeometry(G::targetFrame(height, widths.target));
    micLabel_->setGeometry(G::micFrame(height, widths.mic));
}

// The recorder reports the level about 50 times a second from its own
// thread. Each report only leaves the value for the main thread; a frame
// timer on the main thread takes the latest value, starts the dot's 0.09 s
// move towards it and draws the move, and stops once nothing changes. A
// report that finds the frames stopped wakes them with one hop.
void Overlay::updateLevel(float level)
{
    pendingLevel_.store(level);
    levelPending_.store(true);
    if (MainThread::isCurrent()) {
        startLevelFrames();
        return;
    }
    if (!levelFramesRunning_.exchange(true))
        MainThread::async(this, [this] { startLevelFrames(); });
}

void Overlay::startLevelFrames()
{
    levelFramesRunning_.store(true);
    levelFrame();
    if (levelFramesRunning_.load() && !levelTimer_->isActive())
        levelTimer_->start();
}

void Overlay::levelFrame()
{
    const bool onBar = dot_ && barView_ && barView_->isVisible();
    // Draw this moment of the current move, then aim the move at the newest level.
    bool moving = onBar && dot_->advance();
    if (levelPending_.exchange(false) && onBar) {
        dot_->scaleTo(G::levelScale(pendingLevel_.load()));
        moving = dot_->currentScale() != dot_->targetScale();
    }
    if (moving)
        return;
    levelTimer_->stop();
    levelFramesRunning_.store(false);
    // A level that arrived since the check above starts the frames again.
    if (levelPending_.load() && !levelFramesRunning_.exchange(true))
        levelTimer_->start();
}

void Overlay::updateLiveText(const QString& text)
{
    onMain([this, text] {
        if (!liveLabel_ || !barView_ || !barView_->isVisible())
            return;
        liveLabel_->setText(live_.update(text));
    });
}

void Overlay::showOnTop()
{
    if (surface_) {
        surface_->show(panel_);
        return;
    }
    panel_->show();
    panel_->raise();
}

void Overlay::placePanel(int width, int height)
{
    if (!panel_)
        return;
    QList<G::ScreenArea> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens << G::ScreenArea{screen->geometry(), screen->availableGeometry()};
    std::optional<G::ScreenArea> mainScreen;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        mainScreen = G::ScreenArea{primary->geometry(), primary->availableGeometry()};
    const auto frame = G::place(QSize(width, height), Config::shared().overlayAnchor, screens, mainScreen);
    if (!frame)
        return;
    panel_->setGeometry(*frame);
    panel_->update();
}

// Called for every step of a drag. Only a drag moves the window behind the
// program's back (the window manager does not manage it), so the program's
// own placements never arrive here.
void Overlay::panelMoved()
{
    const QString anchor = G::anchorOf(panel_->geometry());
    Config::edit([&anchor](ConfigData& c) { c.overlayAnchor = anchor; });
    saveTimer_->start();  // restarts: the file is written once, after the last move
}

void Overlay::doubleClicked(QPoint position)
{
    if (barView_ && barView_->isVisible()) {
        const QPoint inBar = barView_->mapFrom(panel_, position);
        for (const BarButton* button : barView_->findChildren<BarButton*>()) {
            if (button->geometry().contains(inBar))
                return;
        }
    }
    saveTimer_->stop();
    Config::edit([](ConfigData& c) { c.overlayAnchor.reset(); });
    Config::save();
    if (panel_)
        placePanel(panel_->width(), panel_->height());
}

QWidget* Overlay::panel() const
{
    return panel_;
}

bool Overlay::isShown() const
{
    return panel_ && panel_->isVisible();
}

bool Overlay::isRecordingFace() const
{
    return isShown() && barView_->isVisible();
}

QString Overlay::messageText() const
{
    return isShown() && label_->isVisible() ? label_->text() : QString();
}

QString Overlay::liveText() const
{
    return liveLabel_ ? liveLabel_->text() : QString();
}

qreal Overlay::dotTargetScale() const
{
    return dot_ ? dot_->targetScale() : 1.0;
}
