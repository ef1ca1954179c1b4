// What a Linux user reads, as the code composes it through the platform
// words: the trigger-key rows, the bar's messages, the tray menu, every step
// of the setup window, About and the log never name a Mac, its keys or its
// System Settings.
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "desktop/HotkeyManager.h"
#include "store/Config.h"
#include "ui/AboutWindow.h"
#include "ui/FirstRunWindow.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QtTest>

namespace {

// A keyboard without a single key: every trigger key is missing from it.
struct NoKeys : KeySource {
    bool open() override { return true; }
    bool isOpen() const override { return true; }
    void enable() override {}
    bool hasKey(std::int64_t) const override { return false; }
};

QStringList shownTexts(QWidget* window)
{
    QStringList texts{window->windowTitle()};
    for (auto* label : window->findChildren<QLabel*>())
        texts << label->text();
    for (auto* button : window->findChildren<QAbstractButton*>())
        texts << button->text();
    return texts;
}

}  // namespace

class LinuxTextsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMacWords()
    {
        TestDataFolder data;
        Config::bootstrap();
        QStringList texts;

        QStringList ids;
        for (const TriggerKey& key : TriggerKey::all()) {
            ids << key.id;
            texts << key.label;
        }
        QCOMPARE(ids, (QStringList{"option", "leftOption", "rightOption", "rightCommand", "control", "rightShift"}));

        HotkeyManager hotkeys(std::make_unique<NoKeys>());
        hotkeys.start();
        hotkeys.setTrigger(QStringLiteral("fn"));

        FakeServices fakes;
        fakes.keyboardAccess->isTrusted = false;
        AppTiming timing;
        timing.axPollInterval = 0.01;
        AppState app(fakes.take(), timing);
        app.startUp();
        fakes.keyboardAccess->isTrusted = true;
        QTRY_VERIFY(!app.axPollRunning());
        app.micChanged(QString());
        for (const QString& id : ids + QStringList{QStringLiteral("fn")})
            app.applyTriggerKey(id);
        QMenu menu;
        app.menuNeedsUpdate(&menu);
        for (QAction* action : menu.actions())
            texts << action->text();
        QAction copied;
        copied.setData(QStringLiteral("履歴の文"));
        app.copyHistoryItem(&copied);
        QTRY_VERIFY(fakes.overlay->events.join(u'\n').contains(QStringLiteral("サイリ 準備OK")));
        texts << fakes.overlay->events;

        FakeSounds sounds;
        for (const bool trusted : {false, true}) {
            FakeKeyboardAccess keys;
            keys.isTrusted = trusted;
            FirstRunWindow setup(keys, sounds, true);
            setup.buildWindow();
            for (const FirstRunStep step : setup.全ステップ()) {
                setup.show(step);
                texts << shownTexts(setup.window());
            }
        }
        AboutWindow::shared().show();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("aboutWindow"))
                texts << shownTexts(window);
        }
        texts << logMessages();

        QVERIFY(texts.size() > 100);
        static const QRegularExpression macWords(QStringLiteral("Mac|Option|Command|Control|fn（|システム設定"));
        for (const QString& text : texts)
            QVERIFY2(!macWords.match(text).hasMatch(), qPrintable(text));
    }
};

QTEST_MAIN(LinuxTextsTest)
#include "tst_LinuxTexts.moc"
