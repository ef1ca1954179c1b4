// The tray menu rebuilt at each opening, in every phase, with its history
// items, the update notice and the start-at-login switch; the tray icon.
#include "BuildSettings.h"
#include "Fakes.h"
#include "FileServer.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "ui/TrayIcon.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QtTest>

class TestStatusMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeServices* fakes = nullptr;
    std::unique_ptr<AppState> app;
    std::unique_ptr<QMenu> menu;

    // The menu as it opens now: one line per item, "---" for separators,
    // "(off)" after disabled items and "[x]"/"[ ]" before checkable ones.
    QStringList open()
    {
        app->menuNeedsUpdate(menu.get());
        QStringList lines;
        for (const QAction* a : menu->actions()) {
            if (a->isSeparator()) {
                lines << QStringLiteral("---");
                continue;
            }
            QString line = a->text();
            if (a->isCheckable())
                line.prepend(a->isChecked() ? QStringLiteral("[x] ") : QStringLiteral("[ ] "));
            if (!a->isEnabled())
                line += QStringLiteral(" (off)");
            lines << line;
        }
        return lines;
    }

    QAction* item(const QString& text)
    {
        for (QAction* a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        UpdateNotice::testing::reset(QString(), QStringLiteral("5"));
        fakes = new FakeServices;
        AppTiming timing;
        timing.collectDelay = 60;  // stays in processing until the test ends
        app = std::make_unique<AppState>(fakes->take(), timing);
        menu = std::make_unique<QMenu>();
    }
    void cleanup()
    {
        menu.reset();
        app.reset();
        delete fakes;
        data.reset();
    }

    void contentsInEachPhase()
    {
        const QString version = QStringLiteral(SAYRI_VERSION);
        const QStringList idle{QStringLiteral("サイリ %1 — 待機中 (off)").arg(version),
                               QStringLiteral("設定を開く…"),
                               QStringLiteral("---"),
                               QStringLiteral("履歴（押すとコピー） (off)"),
                               QStringLiteral("（まだありません） (off)"),
                               QStringLiteral("---"),
                               QStringLiteral("[ ] ログイン時に自動起動"),
                               QStringLiteral("アップデートを確認…"),
                               QStringLiteral("サイリについて"),
                               QStringLiteral("---"),
                               QStringLiteral("サイリを終了")};
        QCOMPARE(open(), idle);
        QCOMPARE(item(QStringLiteral("設定を開く…"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        item(QStringLiteral("アップデートを確認…"))->trigger();  // no site set: says so
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:更新の確認先が設定されていないため、確認できません@3"));

        app->optionTapped(100.0);
        app->optionTapped(100.3);
        QCOMPARE(open().first(), QStringLiteral("サイリ %1 — 録音中 (off)").arg(version));
        app->stopAndProcess();
        QCOMPARE(open().first(), QStringLiteral("サイリ %1 — 処理中 (off)").arg(version));
        // Rebuilt, not appended to.
        QCOMPARE(open().size(), idle.size());
    }

    void historyItems()
    {
        const QString forty =
            QStringLiteral("一二三四五六七八九十一二三四五六七八九十\n一二三四五六七八九十一二三四五六七八九");
        const QString thirtyEight =
            QStringLiteral("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ");
        const QString combining = QString(38, u'か') + QStringLiteral("\u3099");  // 38 characters, 39 code units
        QStringList texts;
        for (int i = 1; i <= 9; ++i)
            texts << QStringLiteral("古い%1").arg(i);
        for (const QString& text : texts + QStringList{QStringLiteral("R&D\tの件"), combining, thirtyEight, forty})
            app->history().add(QString(), text, AppState::historyMode);

        const QStringList lines = open();
        const int first = int(lines.indexOf(QStringLiteral("履歴（押すとコピー） (off)"))) + 1;
        QCOMPARE(
            lines.mid(first, 10),
            (QStringList{QStringLiteral("一二三四五六七八九十一二三四五六七八九十 一二三四五六七八九十一二三四五六七…"),
                         thirtyEight, combining, QStringLiteral("R&&D の件"), QStringLiteral("古い9"),
                         QStringLiteral("古い8"), QStringLiteral("古い7"), QStringLiteral("古い6"),
                         QStringLiteral("古い5"), QStringLiteral("古い4")}));
        QCOMPARE(lines.at(first + 10), QStringLiteral("---"));  // ten at most

        // Choosing the shortened item copies the whole text, line break included.
        menu->actions().at(first)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), forty);
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:コピーしました（Ctrl+V で貼り付け）@2"));

        // An item without a text is ignored.
        QAction stray(QStringLiteral("x"));
        app->copyHistoryItem(&stray);
        app->copyHistoryItem(nullptr);
        QCOMPARE(fakes->overlay->events.size(), 1);
    }

    void loginItemSwitch()
    {
        const QString title = QStringLiteral("ログイン時に自動起動");
        auto toggle = [&] {
            open();
            item(title)->trigger();
            return fakes->overlay->last();
        };
        QCOMPARE(toggle(), QStringLiteral("flash:自動起動: オン@1.5"));
        QVERIFY(fakes->loginItem->enabled);
        QVERIFY(open().contains(QStringLiteral("[x] ") + title));
        QCOMPARE(toggle(), QStringLiteral("flash:自動起動: オフ@1.5"));
        QVERIFY(!fakes->loginItem->enabled);

        fakes->loginItem->failWith = QStringLiteral("フォルダ /x を作れませんでした");
        QCOMPARE(toggle(), QStringLiteral("flash:自動起動の設定に失敗: フォルダ /x を作れませんでした@3"));
        QVERIFY(open().contains(QStringLiteral("[ ] ") + title));
    }

    void updateNoticeItemInRed()
    {
        FileServer server;
        server.setBody(
            QStringLiteral("/updates/appcast.xml"),
            "<sparkle:version>6</sparkle:version><sparkle:shortVersionString>1.2.0</sparkle:shortVersionString>");
        UpdateNotice::testing::reset(server.baseUrl(), QStringLiteral("5"));
        bool done = false;
        UpdateNotice::確認([&] { done = true; });
        QTRY_VERIFY(done);

        const QStringList lines = open();
        QCOMPARE(lines.at(1), QStringLiteral("新しい版 1.2.0 に更新できます"));
        QCOMPARE(lines.at(2), QStringLiteral("設定を開く…"));

        // Its title is drawn in red; the others are not.
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
        const QImage shot = menu->grab().toImage();
        auto redPixels = [&](QAction* a) {
            const QRect r = menu->actionGeometry(a);
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) {
                    const QColor c =
                        shot.pixelColor(x * shot.width() / menu->width(), y * shot.height() / menu->height());
                    n += c.red() > 180 && c.green() < 140 && c.blue() < 140;
                }
            return n;
        };
        QVERIFY(redPixels(menu->actions().at(1)) > 20);
        QCOMPARE(redPixels(menu->actions().at(2)), 0);
        menu->hide();
    }

    // Back in a phase, the tray shows the very icon it had: a new one at each
    // change leaves its drawings in the pixmap cache, dictation after dictation.
    void trayIconOfAPhaseIsReused()
    {
        TrayIcon tray;
        const auto shown = [&tray] { return tray.findChild<QSystemTrayIcon*>()->icon().cacheKey(); };
        tray.setIcon(QStringLiteral("🔴"));
        const qint64 recording = shown();
        tray.setIcon(QStringLiteral("🎙️"));
        QVERIFY(shown() != recording);
        tray.setIcon(QStringLiteral("🔴"));
        QCOMPARE(shown(), recording);
    }
};

QTEST_MAIN(TestStatusMenu)
#include "tst_StatusMenu.moc"
