#pragma once

#include "platform/KeyboardAccess.h"
#include "platform/SoundPlayer.h"
#include "ui/FirstRun.h"
#include "ui/FirstRunStep.h"
#include "ui/Icons.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class ActionButton;
class ModelDownload;
class QLabel;
class QProgressBar;
class QTimer;
class QVBoxLayout;

// The first-run setup: one window whose content is rebuilt for each step.
// It walks a new user through the microphone, the live provisional text,
// automatic pasting and the recognition model, polls once a second so that a
// step satisfied outside the window moves it on by itself, and continues the
// controller's start-up when the user leaves it. The window cannot be closed
// any other way. Main thread only.
class FirstRunWindow : public QObject, public FirstRun {
    Q_OBJECT
public:
    using Step = FirstRunStep;

    // The platform pieces outlive the window. `liveEngine`: whether a
    // live-preview engine exists (the `仮表示` step is in use).
    FirstRunWindow(KeyboardAccess& keyboard, SoundPlayer& sounds, bool liveEngine);
    ~FirstRunWindow() override;

    bool 必要() override;
    void begin(std::function<void()> onFinished) override;

    void buildWindow();
    void show(Step step);
    void 進む(Step after);
    void finish();

    QList<Step> 全ステップ() const;
    // "マイク=… 音声認識=… 自動貼り付け=…" for the log.
    QString 許可の状態一覧();
    static QString name(Step step);
    // The window's frame for content `needed` pixels high on a screen whose
    // visible area is `area`: at least 320 high, at most the visible height
    // less 40, the top edge kept, and 20 pixels inside the visible area.
    // Without a screen, 320 to 860 high.
    static QRect fittedFrame(const QRect& current, int needed, const std::optional<QRect>& area);

    QWidget* window() const { return window_; }
    Step current() const { return current_; }

protected:
    // Brings the window back after the window manager's close: the setup
    // ends only by `finish`.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Authorisation states: 0 not determined, 1 and 2 restricted or denied
    // (their meaning differs per permission), 3 authorised.
    int microphoneState() const;
    int speechState() const;
    bool accessibilityGranted();
    bool satisfied(Step step);
    bool modelReady();

    void showWelcome();
    void showMicrophone();
    void showPreview();
    void showPaste();
    void showModel();
    void showDone();

    // The session's rows: "✓", "→" (with a button that copies its command)
    // or "✕", each with its title and text.
    void addSessionRows(const QList<SetupRow>& rows);
    void add絵(const QString& emoji, Icons::Name image);
    void add見出し(const QString& text);
    QLabel* add本文(const QString& text);
    QLabel* addStatusLine(const QString& text);
    ActionButton* add主ボタン(const QString& title, std::function<void()> action);
    ActionButton* addSmallButton(const QString& title, std::function<void()> action);
    void addリンク行();
    void add行き来ボタン(Step step);
    void 窓の高さを中身に合わせる();
    void 見張る(Step step, std::function<bool()> check);
    void startDownload();
    void startPreviewDownload(QLabel* status, ActionButton* button);
    // The preview model's download, watched by this window from the first call.
    ModelDownload& previewDownload();
    void bringToFront();
    void stopPolling();
    // A callback that runs `work` only while this object lives.
    std::function<void()> weakly(std::function<void(FirstRunWindow&)> work);

    KeyboardAccess& keyboard_;
    SoundPlayer& sounds_;
    bool liveEngine_;

    QPointer<QWidget> window_;
    QPointer<QWidget> content_;
    QVBoxLayout* stack_ = nullptr;
    QPointer<ActionButton> mainButton_;
    std::function<void()> onFinished_;
    QTimer* pollTimer_ = nullptr;
    ModelDownload* download_ = nullptr;
    // The model step's status, button and bar: kept while other steps show.
    QPointer<QLabel> downloadStatus_;
    QPointer<ActionButton> downloadButton_;
    QPointer<QProgressBar> downloadBar_;
    ModelDownload* previewDownload_ = nullptr;  // the preview model's (shared), once watched
    Step current_ = Step::ようこそ;
    bool quitting_ = false;
    // The user asked to finish before the model was in place: the model's
    // step stays until it is, then the window finishes by itself.
    bool finishWhenReady_ = false;
};
