// What a Linux user reads, as the code composes it through the platform
// words: the trigger-key rows, the bar's messages at start-up, the tray menu,
// every step of the setup window, About and the log never name a Mac, its
// keys or its System Settings. (The other messages are compared whole in the
// tests of their parts.)
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "desktop/TriggerKey.h"
#include "store/Config.h"
#include "ui/AboutWindow.h"
#include "ui/FirstRunWindow.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QtTest>

class LinuxTextsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMacWords()
    {
        TestDataFolder data;
        Config::bootstrap();
        QStringList texts, ids;
        for (const TriggerKey& key : TriggerKey::all()) {
            ids << key.id;
            texts << key.label;
        }
        QCOMPARE(ids, (QStringList{"option", "leftOption", "rightOption", "rightCommand", "control", "rightShift"}));

        FakeServices fakes;
        fakes.keyboardAccess->isTrusted = false;
        AppState app(fakes.take(), AppTiming{.axPollInterval = 0.01});
        app.startUp();
        fakes.keyboardAccess->isTrusted = true;
        QMenu menu;
        app.menuNeedsUpdate(&menu);
        for (QAction* action : menu.actions())
            texts << action->text();
        QTRY_VERIFY(!app.axPollRunning() && fakes.overlay->events.join(u'\n').contains(QStringLiteral("サイリ 準備OK")));
        texts << fakes.overlay->events;

        const auto shown = [&texts](QWidget* window) {
            texts << window->windowTitle();
            for (auto* label : window->findChildren<QLabel*>())
                texts << label->text();
            for (auto* button : window->findChildren<QAbstractButton*>())
                texts << button->text();
        };
        AboutWindow::shared().show();
        shown(AboutWindow::shared().window());
        FakeSounds sounds;
        for (const bool trusted : {false, true}) {
            FakeKeyboardAccess keys;
            keys.isTrusted = trusted;
            FirstRunWindow setup(keys, sounds, true);
            setup.buildWindow();
            for (const FirstRunStep step : setup.全ステップ()) {
                setup.show(step);
                shown(setup.window());
            }
        }
        texts << logMessages();
        static const QRegularExpression macWords(QStringLiteral("Mac|Option|Command|Control|fn（|システム設定"));
        QVERIFY(texts.size() > 100);
        for (const QString& text : texts)
            QVERIFY2(!macWords.match(text).hasMatch(), qPrintable(text));
    }
};

QTEST_MAIN(LinuxTextsTest)
#include "tst_LinuxTexts.moc"
