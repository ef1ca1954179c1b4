#include "ui/FirstRunWindow.h"

#include "platform/PlatformWords.h"
#include "preview/LivePreview.h"
#include "preview/PreviewModel.h"
#include "provision/ModelDownload.h"
#include "provision/ModelSetup.h"
#include "store/Config.h"
#include "store/Log.h"
#include "ui/AboutWindow.h"
#include "ui/ActionButton.h"
#include "ui/Brand.h"
#include "ui/FocusRing.h"
#include "ui/MainMenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int windowWidth = 520;
constexpr int bodyWidth = 430;

// Empties `layout`; the widgets in `keep` go back to `owner`, hidden.
void removeAll(QLayout* layout, const QList<QWidget*>& keep, QWidget* owner)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            if (keep.contains(w))
                w->setParent(owner);
            else
                w->deleteLater();  // a button may be removed from inside its own click
        }
        if (QLayout* inner = item->layout()) {
            removeAll(inner, keep, owner);
            delete inner;
            item = nullptr;  // a layout is its own item
        }
        delete item;
    }
}

void colour(QWidget* widget, const QColor& c)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    widget->setPalette(p);
}

}  // namespace

FirstRunWindow::FirstRunWindow(KeyboardAccess& keyboard, SoundPlayer& sounds, bool liveEngine)
    : keyboard_(keyboard), sounds_(sounds), liveEngine_(liveEngine)
{
}

FirstRunWindow::~FirstRunWindow()
{
    delete window_.data();
}

QString FirstRunWindow::name(Step step)
{
    switch (step) {
    case Step::ようこそ:
        return QStringLiteral("ようこそ");
    case Step::マイク:
        return QStringLiteral("マイク");
    case Step::仮表示:
        return QStringLiteral("仮表示");
    case Step::貼り付け:
        return QStringLiteral("貼り付け");
    case Step::モデル:
        return QStringLiteral("モデル");
    case Step::完了:
        return QStringLiteral("完了");
    }
    return {};
}

QList<FirstRunWindow::Step> FirstRunWindow::全ステップ() const
{
    if (liveEngine_)
        return {Step::ようこそ, Step::マイク, Step::仮表示, Step::貼り付け, Step::モデル, Step::完了};
    return {Step::ようこそ, Step::マイク, Step::貼り付け, Step::モデル, Step::完了};
}

int FirstRunWindow::microphoneState() const
{
    // Linux has no per-application microphone permission.
    return 3;
}

int FirstRunWindow::speechState() const
{
    // The live engine needs no permission of its own: it is ready ("3") once
    // its data is in place, and undecided until then.
    return liveEngine_ && LivePreview::authorized() ? 3 : 0;
}

bool FirstRunWindow::accessibilityGranted()
{
    return keyboard_.trusted();
}

bool FirstRunWindow::modelReady()
{
    return ModelSetup::find() && ModelSetup::findBinary();
}

bool FirstRunWindow::satisfied(Step step)
{
    switch (step) {
    case Step::マイク:
        return microphoneState() == 3;
    case Step::仮表示:
        return speechState() == 3;
    case Step::貼り付け:
        return accessibilityGranted();
    case Step::モデル:
        return modelReady();
    default:
        return false;
    }
}

QString FirstRunWindow::許可の状態一覧()
{
    auto mic = [](int s) {
        switch (s) {
        case 0:
            return QStringLiteral("未決定");
        case 1:
            return QStringLiteral("制限");
        case 2:
            return QStringLiteral("拒否");
        case 3:
            return QStringLiteral("許可");
        default:
            return QStringLiteral("不明");
        }
    };
    auto speech = [](int s) {
        switch (s) {
        case 0:
            return QStringLiteral("未決定");
        case 1:
            return QStringLiteral("拒否");
        case 2:
            return QStringLiteral("制限");
        case 3:
            return QStringLiteral("許可");
        default:
            return QStringLiteral("不明");
        }
    };
    return QStringLiteral("マイク=%1 音声認識=%2 自動貼り付け=%3")
        .arg(mic(microphoneState()), speech(speechState()),
             accessibilityGranted() ? QStringLiteral("許可") : QStringLiteral("未許可"));
}

bool FirstRunWindow::必要()
{
    // Recorded every time, also when the marker alone decides.
    const bool resolved = ModelSetup::resolveAndSave();
    return QFile::exists(Config::file(QStringLiteral(".forcesetup"))) || microphoneState() != 3
           || !accessibilityGranted() || !resolved;
}

void FirstRunWindow::begin(std::function<void()> onFinished)
{
    onFinished_ = std::move(onFinished);
    buildWindow();
    show(Step::ようこそ);
}

std::function<void()> FirstRunWindow::weakly(std::function<void(FirstRunWindow&)> work)
{
    QPointer<FirstRunWindow> self(this);
    return [self, work = std::move(work)] {
        if (self)
            work(*self);
    };
}

void FirstRunWindow::buildWindow()
{
    if (window_) {
        bringToFront();
        return;
    }
    // Titled and resizable, with neither a close nor a minimise button.
    auto* w =
        new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint);
    window_ = w;
    w->setObjectName(QStringLiteral("firstRunWindow"));
    w->setWindowTitle(QStringLiteral("サイリ はじめの準備"));
    // Sees the window's close and the application's quit, to tell them apart.
    qApp->installEventFilter(this);
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, Qt::white);
    w->setPalette(palette);
    w->setAutoFillBackground(true);

    // The stack is pinned to the top and the sides; below it the window may
    // have room to spare.
    auto* outer = new QVBoxLayout(w);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->setSizeConstraint(QLayout::SetNoConstraint);  // the height is chosen by the fitting below
    content_ = new QWidget(w);
    stack_ = new QVBoxLayout(content_);
    stack_->setContentsMargins(40, 36, 40, 28);
    stack_->setSpacing(14);
    outer->addWidget(content_);
    outer->addStretch(1);

    for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, w);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (mainButton_ && mainButton_->isEnabled() && mainButton_->isVisible())
                mainButton_->animateClick();
        });
    }
    MainMenu::attachTo(w);
    FocusRing::attach(w);

    w->resize(windowWidth, 430);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w->move(area.center() - QPoint(windowWidth / 2, 430 / 2));
    }
    w->show();
    bringToFront();
}

void FirstRunWindow::bringToFront()
{
    if (!window_)
        return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool FirstRunWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The window manager's close takes the window away for a moment only:
    // the setup ends by its last step. The close itself is let through, as
    // quitting Sayri closes every window first and must not be held up.
    if (event->type() == QEvent::Quit)
        quitting_ = true;
    if (watched == window_ && event->type() == QEvent::Close && !quitting_) {
        Log::write(QStringLiteral("はじめの準備: 窓は閉じられません（最後のボタンで終わります）"));
        QTimer::singleShot(0, this, [this] { bringToFront(); });
    }
    return QObject::eventFilter(watched, event);
}

void FirstRunWindow::stopPolling()
{
    if (!pollTimer_)
        return;
    pollTimer_->stop();
    pollTimer_->deleteLater();  // may be stopped from its own tick
    pollTimer_ = nullptr;
}

void FirstRunWindow::show(Step step)
{
    stopPolling();
    Log::write(QStringLiteral("はじめの準備: %1 を表示　%2").arg(name(step), 許可の状態一覧()));
    if (!content_)
        return;
    current_ = step;
    removeAll(stack_, {downloadStatus_, downloadButton_, downloadBar_}, window_);
    mainButton_ = nullptr;
    switch (step) {
    case Step::ようこそ:
        showWelcome();
        break;
    case Step::マイク:
        showMicrophone();
        break;
    case Step::仮表示:
        showPreview();
        break;
    case Step::貼り付け:
        showPaste();
        break;
    case Step::モデル:
        showModel();
        break;
    case Step::完了:
        showDone();
        break;
    }
    add行き来ボタン(step);
    // The new controls count in the layout only once shown; the old ones were
    // hidden on their way out.
    for (QWidget* child : content_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->testAttribute(Qt::WA_WState_ExplicitShowHide))
            child->show();
    窓の高さを中身に合わせる();
}

void FirstRunWindow::進む(Step after)
{
    const QList<Step> steps = 全ステップ();
    const qsizetype at = steps.indexOf(after);
    if (at < 0) {
        show(Step::完了);
        return;
    }
    for (qsizetype i = at + 1; i < steps.size() - 1; ++i) {
        if (!satisfied(steps[i])) {
            show(steps[i]);
            return;
        }
    }
    show(steps.last());
}

void FirstRunWindow::見張る(Step step, std::function<bool()> check)
{
    stopPolling();
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(1000);
    connect(pollTimer_, &QTimer::timeout, this, [this, step, check = std::move(check)] {
        if (!check())
            return;
        stopPolling();
        sounds_.play(QStringLiteral("Glass"));
        if (finishWhenReady_ && step == Step::モデル) {
            finish();
            return;
        }
        bringToFront();
        const QList<Step> steps = 全ステップ();
        const qsizetype at = steps.indexOf(step);
        show(at >= 0 && at + 1 < steps.size() ? steps[at + 1] : Step::完了);
    });
    pollTimer_->start();
}

void FirstRunWindow::finish()
{
    // Without the model no dictation can work: say so until it is in place.
    if (window_ && !modelReady()) {
        finishWhenReady_ = true;
        show(Step::モデル);
        return;
    }
    stopPolling();
    QFile::remove(Config::file(QStringLiteral(".forcesetup")));
    ModelSetup::resolveAndSave();
    if (window_) {
        qApp->removeEventFilter(this);
        window_->hide();
        window_->deleteLater();
    }
    window_ = nullptr;
    content_ = nullptr;
    stack_ = nullptr;
    if (auto done = std::exchange(onFinished_, nullptr))
        done();
}

ModelDownload& FirstRunWindow::previewDownload()
{
    if (!previewDownload_) {
        previewDownload_ = &PreviewModel::download();
        connect(previewDownload_, &ModelDownload::installed, this, [this] {
            if (current_ == Step::仮表示)
                進む(Step::仮表示);
        });
        connect(previewDownload_, &ModelDownload::failed, this, [this] { 窓の高さを中身に合わせる(); });
    }
    return *previewDownload_;
}

void FirstRunWindow::startPreviewDownload(QLabel* status, ActionButton* button)
{
    button->setEnabled(false);
    button->setText(QStringLiteral("ダウンロード中…"));
    previewDownload().start(nullptr, status, button);
}

void FirstRunWindow::startDownload()
{
    downloadButton_->setEnabled(false);
    downloadButton_->setText(QStringLiteral("ダウンロード中…"));
    if (!download_) {
        download_ = new ModelDownload(ModelDownload::releaseModel(), this);
        connect(download_, &ModelDownload::installed, this, [this] {
            sounds_.play(QStringLiteral("Glass"));
            if (finishWhenReady_ && modelReady())
                finish();
            else
                show(modelReady() ? Step::完了 : Step::モデル);
        });
        // A failure text may take more lines than the progress did.
        connect(download_, &ModelDownload::failed, this, [this] { 窓の高さを中身に合わせる(); });
    }
    download_->start(downloadBar_, downloadStatus_, downloadButton_);
}

// --- building blocks ---

void FirstRunWindow::add絵(const QString& emoji, Icons::Name image)
{
    auto* label = new QLabel;
    label->setAlignment(Qt::AlignCenter);
    if (auto art = Icons::image(image, 76)) {
        label->setPixmap(Icons::shown(*art, Brand::orange));
        label->setFixedSize(76, 76);
    } else {
        label->setText(emoji);
        label->setFont(Brand::font(44));
    }
    stack_->addWidget(label, 0, Qt::AlignHCenter);
}

void FirstRunWindow::add見出し(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(Brand::font(19, QFont::Bold));
    colour(label, Brand::ink);
    stack_->addWidget(label, 0, Qt::AlignHCenter);
    content_->setAccessibleName(text);  // a screen reader names the step by it
}

QLabel* FirstRunWindow::add本文(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(Brand::font(13));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFixedWidth(bodyWidth);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stack_->addWidget(label, 0, Qt::AlignHCenter);
    return label;
}

QLabel* FirstRunWindow::addStatusLine(const QString& text)
{
    QLabel* label = add本文(text);
    label->setFont(Brand::font(11));
    colour(label, QApplication::palette().color(QPalette::PlaceholderText));
    return label;
}

ActionButton* FirstRunWindow::add主ボタン(const QString& title, std::function<void()> action)
{
    auto* button = new ActionButton(title, std::move(action));
    button->setFont(Brand::font(14));
    button->setMinimumHeight(34);
    button->setMinimumWidth(qMax(160, button->sizeHint().width() + 28));
    button->setDefault(true);
    stack_->addWidget(button, 0, Qt::AlignHCenter);
    mainButton_ = button;
    return button;
}

ActionButton* FirstRunWindow::addSmallButton(const QString& title, std::function<void()> action)
{
    auto* button = new ActionButton(title, std::move(action));
    button->setFont(Brand::font(11));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    stack_->addWidget(button, 0, Qt::AlignHCenter);
    return button;
}

void FirstRunWindow::addリンク行()
{
    // Shown only where the maker's site is set: no link leads nowhere.
    if (AboutWindow::pageUrl(QStringLiteral("/terms/")).isEmpty())
        return;
    auto* row = new QHBoxLayout;
    row->setSpacing(18);
    row->addWidget(ActionButton::link(QStringLiteral("利用規約"), AboutWindow::pageUrl(QStringLiteral("/terms/")), 12));
    row->addWidget(ActionButton::link(QStringLiteral("プライバシーポリシー"),
                                      AboutWindow::pageUrl(QStringLiteral("/privacy/")), 12));
    stack_->addLayout(row);
    stack_->setAlignment(row, Qt::AlignHCenter);
}

void FirstRunWindow::add行き来ボタン(Step step)
{
    const QList<Step> steps = 全ステップ();
    const qsizetype i = steps.indexOf(step);
    if (i < 0)
        return;
    auto* row = new QHBoxLayout;
    row->setSpacing(24);
    if (i > 0) {
        const Step previous = steps[i - 1];
        auto* b =
            new ActionButton(QStringLiteral("← 前へ"), weakly([previous](FirstRunWindow& w) { w.show(previous); }));
        row->addWidget(b);
    }
    if (i + 1 < steps.size()) {
        const Step next = steps[i + 1];
        auto* b = new ActionButton(QStringLiteral("次へ →（許可はあとで設定画面からでも変えられます）"),
                                   weakly([next](FirstRunWindow& w) { w.show(next); }));
        row->addWidget(b);
    }
    if (row->count() == 0) {
        delete row;
        return;
    }
    for (int k = 0; k < row->count(); ++k) {
        auto* b = static_cast<ActionButton*>(row->itemAt(k)->widget());
        b->setFont(Brand::font(11));
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::TabFocus);
    }
    stack_->addLayout(row);
    stack_->setAlignment(row, Qt::AlignHCenter);
}

void FirstRunWindow::窓の高さを中身に合わせる()
{
    if (!window_ || !content_ || !stack_)
        return;
    stack_->activate();
    const int fitting =
        stack_->hasHeightForWidth() ? stack_->totalHeightForWidth(windowWidth) : stack_->totalSizeHint().height();
    const int needed = int(std::ceil(qMax(fitting, stack_->totalSizeHint().height())));

    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    const std::optional<QRect> area = screen ? std::optional(screen->availableGeometry()) : std::nullopt;
    const QRect frame = fittedFrame(window_->geometry(), needed, area);
    Log::write(QStringLiteral("はじめの準備: 窓の高さ 必要=%1 採用=%2 画面=%3")
                   .arg(needed)
                   .arg(frame.height())
                   .arg(area ? area->height() : 0));
    window_->setGeometry(frame);
}

QRect FirstRunWindow::fittedFrame(const QRect& current, int needed, const std::optional<QRect>& area)
{
    const int height = area ? qMin(qMax(needed, 320), area->height() - 40) : qBound(320, needed, 860);
    QRect frame = current;
    frame.setSize(QSize(windowWidth, height));  // the top edge stays where it was
    if (area) {
        if (frame.top() < area->top())
            frame.moveTop(area->top() + 20);
        if (frame.bottom() > area->bottom())
            frame.moveBottom(area->bottom() - 20);
    }
    return frame;
}
