// The content of each step of the first-run window.
#include "ui/FirstRunWindow.h"

#include "platform/PlatformWords.h"
#include "preview/LivePreview.h"
#include "preview/PreviewModel.h"
#include "provision/ModelDownload.h"
#include "provision/ModelSetup.h"
#include "store/Log.h"
#include "ui/AboutWindow.h"
#include "ui/ActionButton.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>
#include <QVBoxLayout>

using PlatformWords::Permission;

namespace {

QString lines(const QStringList& list)
{
    return list.join(u'\n');
}

// Opens the desktop's settings page for `permission`; false when there is none.
bool 設定を開く(Permission permission)
{
    const auto page = PlatformWords::settingsPage(permission);
    if (!page)
        return false;
    QDesktopServices::openUrl(*page);
    return true;
}

// The steps to switch a permission on in the desktop's settings.
QStringList settingsSteps(bool password)
{
    QStringList l{QStringLiteral("　1. 一覧の中から「Sayri」を探す"),
                  QStringLiteral("　2. 右のスイッチをオン（青色）にする")};
    if (password)
        l << QStringLiteral("　3. %1のパスワードを聞かれたら入力する").arg(PlatformWords::computer());
    return l;
}

QString stateText(int state, bool microphone)
{
    switch (state) {
    case 0:
        return QStringLiteral("いまの状態：まだ決めていません（ボタンで確認画面が出ます）");
    case 1:
    case 2:
        // The two permissions number "restricted" and "denied" the other way round.
        if ((state == 1) == microphone)
            return QStringLiteral("いまの状態：この%1では制限されています").arg(PlatformWords::computer());
        return QStringLiteral("いまの状態：「許可しない」で記録されています（設定画面から切り替えが必要）");
    case 3:
        return QStringLiteral("いまの状態：許可されています");
    default:
        return QStringLiteral("いまの状態：わかりません");
    }
}

}  // namespace

void FirstRunWindow::showWelcome()
{
    add絵(QStringLiteral("👋"), Icons::Name::setup_welcome);
    add見出し(QStringLiteral("サイリへようこそ"));
    // Where nothing asks for a permission, the list says what the step does.
    const auto what = [](Permission p) {
        return PlatformWords::settingsPage(p) ? QStringLiteral("の許可") : QStringLiteral("の確認");
    };
    add本文(lines({QStringLiteral("話した言葉が、どこにも送られずに、その場で文字になる音声入力です。"),
                   QStringLiteral("使いはじめる前に、4つの準備を順番にすませます（3分ほど）。"), QString(),
                   QStringLiteral("　1. マイク") + what(Permission::microphone),
                   PlatformWords::settingsPage(Permission::speechRecognition)
                       ? QStringLiteral("　2. 仮表示の許可（話している最中のグレーの文字）")
                       : QStringLiteral("　2. 仮表示のデータ（話している最中のグレーの文字）"),
                   QStringLiteral("　3. 自動貼り付け") + what(Permission::accessibility),
                   QStringLiteral("　4. 音声認識データのダウンロード（約550MB・初回だけ）")}));
    add主ボタン(QStringLiteral("準備をはじめる"), weakly([](FirstRunWindow& w) { w.進む(Step::ようこそ); }));
}

void FirstRunWindow::showMicrophone()
{
    const QString pc = PlatformWords::computer();
    const int state = microphoneState();
    add絵(QStringLiteral("🎙️"), Icons::Name::setup_mic);
    add見出し(state == 3 && !PlatformWords::settingsPage(Permission::microphone)
                  ? QStringLiteral("ステップ 1/4　マイクの確認")
                  : QStringLiteral("ステップ 1/4　マイクの許可"));
    QStringList body{QStringLiteral("話した声を聞き取るために、マイクを使います。"),
                     QStringLiteral("声はこの%1の中だけで文字に変わり、どこにも送信されません。").arg(pc), QString()};
    const bool canOpen = PlatformWords::settingsPage(Permission::microphone).has_value();
    if (state == 0) {
        body << QStringLiteral("下のボタンを押すと、%"
                               "1から「マイクへのアクセスを求めています」という確認が出ます。「許可」を押してください。"
                               "許可されると自動で次へ進みます。")
                    .arg(pc);
    } else if (state == 3) {
        // Nothing to ask: say so instead of promising a question that never comes.
        body << QStringLiteral("この%1では、マイクを使うのに許可はいりません。下のボタンで次へ進みます。").arg(pc);
    } else {
        body << QStringLiteral("この%1では、マイクの使用が「許可しない」として記録されています。").arg(pc)
             << QStringLiteral("この状態のとき%"
                               "1は確認画面を出さない決まりなので、設定画面から手で切り替えていただく必要があります。")
                    .arg(pc)
             << QString();
        if (canOpen)
            body << QStringLiteral("下のボタンを押すと「%1」のマイクの欄が開きます。そうしたら:")
                        .arg(PlatformWords::systemSettings())
                 << settingsSteps(false) << QStringLiteral("オンにできると、この画面が自動で次へ進みます。");
        else
            body << QStringLiteral("%1でマイクを使えるようにすると、この画面が自動で次へ進みます。")
                        .arg(PlatformWords::systemSettings());
    }
    add本文(lines(body));
    if (state == 0 || state == 3) {
        // Asked for only where it is not granted yet.
        add主ボタン(state == 0 ? QStringLiteral("マイクの許可を求める") : QStringLiteral("次へ"),
                    weakly([](FirstRunWindow& w) {
                        if (w.microphoneState() == 3)
                            w.進む(Step::マイク);
                    }));
    } else if (canOpen) {
        add主ボタン(QStringLiteral("%1を開く").arg(PlatformWords::systemSettings()),
                    [] { 設定を開く(Permission::microphone); });
    }
    if (state != 3)
        見張る(Step::マイク, [this] { return microphoneState() == 3; });
    addStatusLine(stateText(state, true));
}

// On this platform the grey text comes from a small recognition model of its
// own, run beside the main one: the step downloads it; no permission exists.
void FirstRunWindow::showPreview()
{
    const QString pc = PlatformWords::computer();
    const bool ready = speechState() == 3;
    add絵(QStringLiteral("💬"), Icons::Name::setup_preview);
    add見出し(QStringLiteral("ステップ 2/4　仮表示の準備"));
    QStringList body{QStringLiteral("話している最中に、聞き取れた言葉をグレーの仮文字で見せる機能です。"), QString()};
    if (ready) {
        body << QStringLiteral("この%1にはすでに仮表示用のデータが入っています。").arg(pc);
    } else {
        body << QStringLiteral("仮文字を作るための小さな音声認識データ（約148MB）をダウンロードします。")
             << QStringLiteral("このダウンロードは初回の1回だけです。") << QString()
             << QStringLiteral("仮文字もこの%1の中だけで作られ、話した音声はどこにも送信されません。").arg(pc)
             << QStringLiteral("ダウンロードが終わると、この画面が自動で次へ進みます。");
    }
    add本文(lines(body));
    QLabel* status = addStatusLine(ready ? QStringLiteral("いまの状態：用意できています")
                                         : QStringLiteral("いまの状態：まだダウンロードしていません"));
    if (ready) {
        add主ボタン(QStringLiteral("次へ"), weakly([](FirstRunWindow& w) {
                        LivePreview::日本語データを整える();
                        w.進む(Step::仮表示);
                    }));
    } else {
        QPointer<QLabel> line(status);
        auto* button = add主ボタン(QStringLiteral("ダウンロードをはじめる"), [] {});
        QPointer<ActionButton> pressed(button);
        button->handler = weakly([line, pressed](FirstRunWindow& w) {
            if (line && pressed)
                w.startPreviewDownload(line, pressed);
        });
        // A download begun before this page was built reports here.
        if (PreviewModel::begun())
            previewDownload().show(nullptr, status, button);
        見張る(Step::仮表示, [this] { return speechState() == 3; });
    }
    addSmallButton(QStringLiteral("仮表示は使わない（あとで設定画面から変えられます）"),
                   weakly([](FirstRunWindow& w) { w.show(Step::貼り付け); }));
}

void FirstRunWindow::addSessionRows(const QList<SetupRow>& rows)
{
    for (const SetupRow& row : rows) {
        const QString mark = row.state == SetupRow::State::ready    ? QStringLiteral("✓")
                             : row.state == SetupRow::State::action ? QStringLiteral("→")
                                                                    : QStringLiteral("✕");
        const QString state = row.state == SetupRow::State::unavailable ? QStringLiteral("（使えません）") : QString();
        add本文(QStringLiteral("%1 %2%3\n　%4").arg(mark, row.title, state, row.text));
        if (!row.command.isEmpty()) {
            const QString command = row.command;
            addSmallButton(QStringLiteral("コマンドをコピー: %1").arg(command),
                           [command] { QGuiApplication::clipboard()->setText(command); });
        }
    }
}

void FirstRunWindow::showPaste()
{
    const bool granted = accessibilityGranted();
    const QList<SetupRow> rows = keyboard_.rows();
    if (!rows.isEmpty()) {
        add絵(QStringLiteral("📝"), Icons::Name::setup_paste);
        add見出し(QStringLiteral("ステップ 3/4　キーと自動貼り付けの確認"));
        add本文(QStringLiteral("このデスクトップでサイリが使うしくみです。"));
        addSessionRows(rows);
        if (granted)
            add主ボタン(QStringLiteral("次へ"), weakly([](FirstRunWindow& w) { w.進む(Step::貼り付け); }));
        else
            見張る(Step::貼り付け, [this] { return accessibilityGranted(); });
        return;
    }
    const bool canOpen = PlatformWords::settingsPage(Permission::accessibility).has_value();
    add絵(QStringLiteral("📝"), Icons::Name::setup_paste);
    add見出し(canOpen ? QStringLiteral("ステップ 3/4　自動貼り付けの許可")
                      : QStringLiteral("ステップ 3/4　自動貼り付けの確認"));
    QStringList body{QStringLiteral("文字にした言葉を、いま開いている入力欄へ自動で貼り付けるための許可です。")};
    if (canOpen) {
        body << QStringLiteral("%1ではこれを「アクセシビリティ」と呼びます。").arg(PlatformWords::computer())
             << QString()
             << QStringLiteral("下のボタンを押すと「%1」が開きます。そうしたら:").arg(PlatformWords::systemSettings())
             << settingsSteps(true) << QStringLiteral("オンにできると、この画面が自動で次へ進みます。");
    } else if (granted) {
        body << QString()
             << QStringLiteral("この%1では、このための許可はいりません。サイリはキーを聞き取り、%2 で貼り付けます。")
                    .arg(PlatformWords::computer(), PlatformWords::pasteKeystroke());
    } else {
        body << QString() << PlatformWords::keySourceAdvice();
    }
    add本文(lines(body));
    addStatusLine(QStringLiteral("いまの状態：")
                  + (granted ? QStringLiteral("許可されています") : QStringLiteral("まだ許可されていません")));
    if (canOpen) {
        add主ボタン(QStringLiteral("%1を開く").arg(PlatformWords::systemSettings()), weakly([](FirstRunWindow& w) {
                        if (w.accessibilityGranted())
                            w.進む(Step::貼り付け);
                        else
                            設定を開く(Permission::accessibility);
                    }));
    } else if (granted) {
        add主ボタン(QStringLiteral("次へ"), weakly([](FirstRunWindow& w) { w.進む(Step::貼り付け); }));
    }
    if (!granted)
        見張る(Step::貼り付け, [this] { return accessibilityGranted(); });
}

void FirstRunWindow::showModel()
{
    add絵(QStringLiteral("🧠"), Icons::Name::setup_data);
    add見出し(QStringLiteral("ステップ 4/4　音声認識データ"));
    const bool hasModel = ModelSetup::find().has_value();
    const bool hasProgram = ModelSetup::findBinary().has_value();
    const QString programMissing = QStringLiteral("文字起こしをするプログラム whisper-server "
                                                  "が、まだこの%1に見つかりません。サイリのフォルダで scripts/setup "
                                                  "を実行すると、組み立てて用意します（インターネットへの接続が必要です"
                                                  "）。プログラムとデータがそろうと、この画面が自動で次へ進みます。")
                                       .arg(PlatformWords::computer());
    if (hasModel && hasProgram) {
        add本文(QStringLiteral("この%1にはすでに音声認識データが入っています。準備は完了です！")
                    .arg(PlatformWords::computer()));
        add主ボタン(QStringLiteral("次へ"), weakly([](FirstRunWindow& w) { w.進む(Step::モデル); }));
        return;
    }
    if (hasModel) {
        add本文(programMissing);
    } else {
        add本文(lines({QStringLiteral("声を文字に変えるための「音声認識データ」（約550MB）をダウンロードします。"),
                       QStringLiteral("このダウンロードは初回の1回だけです。"), QString(),
                       QStringLiteral("話した音声と文字にした内容は、この後もずっと送信されません。"),
                       QStringLiteral("回線によって数分かかります。そのままお待ちください。")}));
        if (!hasProgram)
            add本文(programMissing);
        // The same status, button and bar each time, so that a download still
        // running reports to them when the user comes back to this step.
        if (!downloadBar_) {
            downloadStatus_ = add本文(QString());
            downloadButton_ = add主ボタン(QStringLiteral("ダウンロードをはじめる"),
                                          weakly([](FirstRunWindow& w) { w.startDownload(); }));
            downloadBar_ = new QProgressBar;
            downloadBar_->setFixedWidth(380);
            downloadBar_->setTextVisible(false);
        } else {
            stack_->addWidget(downloadStatus_, 0, Qt::AlignHCenter);
            stack_->addWidget(downloadButton_, 0, Qt::AlignHCenter);
            mainButton_ = downloadButton_;
        }
        stack_->addWidget(downloadBar_, 0, Qt::AlignHCenter);
        for (QWidget* kept : std::initializer_list<QWidget*>{downloadStatus_, downloadButton_, downloadBar_})
            kept->show();
    }
    if (finishWhenReady_) {
        add本文(QStringLiteral("データと文字起こしのプログラムがそろうまで、サイリは使えません。そろうと、この画面は閉"
                               "じて、そのまま使いはじめます。"));
        見張る(Step::モデル, [this] { return modelReady(); });
    } else if (!hasProgram) {
        見張る(Step::モデル, [this] { return modelReady(); });
    }
}

void FirstRunWindow::showDone()
{
    const QString key = PlatformWords::optionKey();
    if (!accessibilityGranted()) {
        const bool canOpen = PlatformWords::settingsPage(Permission::accessibility).has_value();
        add絵(QStringLiteral("⚠️"), Icons::Name::setup_paste);
        add見出し(QStringLiteral("あと1つだけ残っています"));
        QStringList body{QStringLiteral("「自動貼り付け」の許可がまだ付いていません。"),
                         QStringLiteral("このままだと %1キーを2回押しても録音が始まりません。").arg(key), QString()};
        const QList<SetupRow> rows = keyboard_.rows();
        if (canOpen)
            body << QStringLiteral("下のボタンで「%1」を開いて:").arg(PlatformWords::systemSettings())
                 << settingsSteps(true) << QStringLiteral("オンにできると、この画面がひとりでに切り替わります。");
        else if (rows.isEmpty())
            body << PlatformWords::keySourceAdvice();
        add本文(lines(body));
        addSessionRows(rows);
        addStatusLine(QStringLiteral("いまの状態：自動貼り付け＝まだ許可されていません"));
        if (canOpen)
            add主ボタン(QStringLiteral("%1を開く").arg(PlatformWords::systemSettings()),
                        [] { 設定を開く(Permission::accessibility); });
        addSmallButton(QStringLiteral("あとで設定する（このまま使いはじめる）"),
                       weakly([](FirstRunWindow& w) { w.finish(); }));
        見張る(Step::完了, [this] { return accessibilityGranted(); });
        return;
    }
    add絵(QStringLiteral("🎉"), Icons::Name::setup_done);
    add見出し(QStringLiteral("準備ができました！"));
    add本文(
        lines({QStringLiteral("使い方はかんたん:"), QStringLiteral("　1. どこかの入力欄をクリックしてカーソルを置く"),
               QStringLiteral("　2. %1キーを2回、ポンポンと押す → 録音がはじまります").arg(key),
               QStringLiteral("　3. 話し終わったら、もう1回 %1 → 文字になって貼り付きます").arg(key), QString(),
               QStringLiteral("録音に使うキーは、あとから設定画面で変えられます。")}));
    // Agreeing is asked for only where the terms can be read.
    const bool terms = !AboutWindow::pageUrl(QStringLiteral("/terms/")).isEmpty();
    if (terms) {
        add本文(lines({QString(), QStringLiteral("サイリのご利用には、利用規約が適用されます。")}));
        addリンク行();
    }
    add主ボタン(terms ? QStringLiteral("同意してはじめる") : QStringLiteral("はじめる"),
                weakly([](FirstRunWindow& w) { w.finish(); }));
}
