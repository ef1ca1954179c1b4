// The dictionary actions of the settings window through the controller with
// recording fakes: the add-word dialog, CSV import through the file dialog,
// re-applying, and the request text copied for a chat assistant.
#include "Fakes.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "ui/AddWordDialog.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString applying = u"show:辞書を反映中…"_s;

}  // namespace

class TestDictionaryActions : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeServices* fakes = nullptr;
    std::unique_ptr<AppState> app;

    QStringList restarts() const
    {
        return fakes->server->seen().filter(QRegularExpression(QStringLiteral("^restart:")));
    }

    AddWordDialog* openAddWord()
    {
        app->addDictWord();
        return qobject_cast<AddWordDialog*>(app->dictionaryDialog());
    }

    // Fills the dialog and presses "追加して反映".
    void add(const QString& surface, const QString& reading)
    {
        AddWordDialog* dialog = openAddWord();
        QVERIFY(dialog);
        dialog->surfaceField()->setText(surface);
        dialog->readingField()->setText(reading);
        QTest::mouseClick(dialog->addButton(), Qt::LeftButton);
        QTRY_VERIFY(!app->dictionaryDialog());
    }

    // Chooses the file in the import dialog, or cancels it.
    void importFile(const QString& path)
    {
        app->importDictCSV();
        auto* dialog = qobject_cast<QFileDialog*>(app->dictionaryDialog());
        QVERIFY(dialog);
        QVERIFY(dialog->isModal());
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // as the "選ぶ" button does
        }
        QTRY_VERIFY(!app->dictionaryDialog());
    }

    QString csv(const QByteArray& bytes)
    {
        const QString path = data->root() + QStringLiteral("/words.csv");
        writeFile(path, bytes);
        return path;
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        data->writeText(QStringLiteral("dictionary.txt"), QStringLiteral("# test\nサイリ\n"));
        fakes = new FakeServices;
        app = std::make_unique<AppState>(fakes->take());
    }
    void cleanup()
    {
        app.reset();
        delete fakes;
        data.reset();
    }

    void addsWords()
    {
        AddWordDialog* dialog = openAddWord();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
        // Typing goes into the written form; Return presses "追加して反映".
        QCOMPARE(QApplication::focusWidget(), dialog->surfaceField());
        QTest::keyClicks(QApplication::focusWidget(), u"Sayri"_s);
        // A second request brings the same dialog forward.
        app->addDictWord();
        QCOMPARE(app->dictionaryDialog(), dialog);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!app->dictionaryDialog());
        QTRY_COMPARE(fakes->overlay->events, (QStringList{applying, u"flash:✓ 追加しました: Sayri@2.5"_s}));
        QCOMPARE(restarts(), QStringList{u"restart:"_s + Config::dictionaryLine()});
        QCOMPARE(app->lastAppliedDictMtime(), app->dictionaryMtime());

        // Without a reading the words are split; with one nothing is; known
        // words are left out of the message.
        add(u" 山田 、佐藤・鈴木\t"_s, u"\u3000"_s);
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 追加しました: 山田、佐藤、鈴木@2.5"_s);
        add(u"渡邊、"_s, u" 渡辺 "_s);
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 追加しました: 渡辺=渡邊、@2.5"_s);
        add(u"サイリ,俯瞰図 俯瞰図"_s, QString());
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 追加しました: 俯瞰図@2.5"_s);
    }

    // Cancelled dialogs, a reading alone, blanks, separators only: nothing is
    // added or said. Known words only: said, nothing restarts.
    void nothingToAdd()
    {
        AddWordDialog* dialog = openAddWord();
        dialog->surfaceField()->setText(u"俯瞰図"_s);
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!app->dictionaryDialog());
        importFile(QString());
        for (const auto& [surface, reading] : {std::pair{"", "ふかんず"}, {" \t\u3000", ""}, {"、・,", ""}})
            add(surface, reading);
        QVERIFY(fakes->overlay->events.isEmpty());

        add(u"サイリ"_s, QString());
        QCOMPARE(fakes->overlay->events,
                 QStringList{u"flash:すべて辞書に登録済みでした（同じ語は二重に持ちません）@3"_s});
        app->pipelineQueue().drain();
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"# test\nサイリ\n"_s);
        QVERIFY(fakes->server->seen().isEmpty());
        QVERIFY(!app->lastAppliedDictMtime());
    }

    void dictionaryThatIsNotTextIsNeverCalledFull()
    {
        const QByteArray notText("\xff\xfe\x00\x00 not utf-8", 14);
        writeFile(data->file(u"dictionary.txt"_s), notText);
        const QString refused =
            u"flash:dictionary.txt を読めないため追加できませんでした（UTF-8で保存し直してください）@4"_s;
        add(u"俯瞰図"_s, QString());
        importFile(csv("ふかんず,俯瞰図\n"));
        QCOMPARE(fakes->overlay->events, (QStringList{refused, refused}));
        app->pipelineQueue().drain();
        QVERIFY(restarts().isEmpty());
        QCOMPARE(readFile(data->file(u"dictionary.txt"_s)), notText);
    }

    void importCSV()
    {
        const QString path = csv("よみ,ひょうき\nやまだたろう,山田太郎\nサイリ,サイリ\nけんしゅつき,検出器\n");
        importFile(path);
        QTRY_COMPARE(fakes->overlay->events,
                     (QStringList{applying, u"flash:✓ 2語を辞書に追加しました（重複1語は飛ばしました）@3"_s}));
        QCOMPARE(restarts().size(), 1);

        // The same file again: every word is a duplicate, nothing restarts.
        fakes->overlay->events.clear();
        importFile(path);
        QCOMPARE(fakes->overlay->events, QStringList{u"flash:追加できる語がありませんでした（重複3語）@3"_s});
        app->pipelineQueue().drain();
        QCOMPARE(restarts().size(), 1);

        // Without duplicates the message says nothing of them.
        importFile(csv("ふかんず,俯瞰図\n"));
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 1語を辞書に追加しました@3"_s);
    }

    void reapply()
    {
        data->writeText(QStringLiteral("dictionary.txt"), QStringLiteral("a\nb=c\n# d\n"));
        app->reloadDictionary();
        app->reloadDictionary();  // two in a row restart twice, in turn
        const QString done = QStringLiteral("flash:✓ 辞書を反映しました（2語）@2.5");
        QTRY_COMPARE(fakes->overlay->events, (QStringList{applying, applying, done, done}));
        QCOMPARE(restarts(), QStringList(2, QStringLiteral("restart:") + Config::dictionaryLine()));
        QCOMPARE(app->lastAppliedDictMtime(), app->dictionaryMtime());
    }

    // The request for a chat assistant, from the menu and from the settings window.
    void copyRequestAndSettingsCallbacks()
    {
        app->startUp();
        app->copyDictionaryRequest();
        const QString request = QGuiApplication::clipboard()->text();
        QVERIFY(request.startsWith(QStringLiteral("音声入力アプリの辞書を作りたいので、手伝ってください。\n")));
        QCOMPARE(
            fakes->overlay->last(),
            QStringLiteral("flash:コピーしました。ふだんお使いのAI（ChatGPTなど）に、そのまま貼って送ってください@5"));
        QGuiApplication::clipboard()->clear();
        Q_EMIT fakes->settings.copyPromptRequested();
        QCOMPARE(QGuiApplication::clipboard()->text(), request);
        Q_EMIT fakes->settings.importCSVRequested();
        QVERIFY(qobject_cast<QFileDialog*>(app->dictionaryDialog()));
        app->dictionaryDialog()->reject();
        QTRY_VERIFY(!app->dictionaryDialog());
        Q_EMIT fakes->settings.addWordRequested();
        QVERIFY(qobject_cast<AddWordDialog*>(app->dictionaryDialog()));
        Q_EMIT fakes->settings.dictionaryReloadRequested();
        QCOMPARE(fakes->overlay->last(), applying);
    }
};

QTEST_MAIN(TestDictionaryActions)
#include "tst_DictionaryActions.moc"
