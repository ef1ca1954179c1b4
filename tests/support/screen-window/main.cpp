// The window the user dictates into, in the desktop-session tests and the
// benchmarks: one whose text Sayri reads through the accessibility bus, or a
// focused text field Sayri pastes into. Every kind but terms is titled "窓".
//
//   terms         labels, fields and a password field holding Japanese and English words
//   list N        a list of N rows "行1" … "行N"
//   paste --out DIR [--menu]
//                 a focused text field (class "Sayri-paste-target") writing its whole text to
//                 DIR/text, its input method's preedit to DIR/preedit and each key pressed
//                 (not a modifier alone) to DIR/keys ("Ctrl+V");
//                 --menu adds a File menu that writes "File menu" there when it opens
//
// Prints "ready 0x<window id>" on stdout once its window has the focus.
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

// The paste field: writes its whole text to `out`/text and the keys it sees to `out`/keys.
class PasteField : public QPlainTextEdit {
public:
    explicit PasteField(QString out) : out_(std::move(out))
    {
        note({});
        save();
        connect(this, &QPlainTextEdit::textChanged, this, &PasteField::save);
    }
    void note(const QByteArray& line) const
    {
        QFile keys(out_ + QStringLiteral("/keys"));
        if (keys.open(QIODevice::Append) && !line.isEmpty())
            keys.write(line + '\n');
    }

protected:
    void keyPressEvent(QKeyEvent* key) override
    {
        if (key->key() != 0 && (key->key() < Qt::Key_Shift || key->key() > Qt::Key_ScrollLock))
            note(QKeySequence(key->modifiers() | Qt::Key(key->key())).toString(QKeySequence::PortableText).toUtf8());
        QPlainTextEdit::keyPressEvent(key);
    }
    void inputMethodEvent(QInputMethodEvent* event) override
    {
        QPlainTextEdit::inputMethodEvent(event);
        QSaveFile f(out_ + QStringLiteral("/preedit"));
        if (f.open(QIODevice::WriteOnly) && f.write(event->preeditString().toUtf8()) >= 0)
            f.commit();
    }

private:
    void save() const
    {
        QSaveFile f(out_ + QStringLiteral("/text"));  // never read half-written
        if (f.open(QIODevice::WriteOnly) && f.write(toPlainText().toUtf8()) >= 0)
            f.commit();
    }

    QString out_;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString kind = args.value(0);
    const int n = args.value(1).toInt();

    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(kind == QLatin1String("terms") ? QStringLiteral("画面の文脈テスト") : QStringLiteral("窓"));
    auto* layout = new QVBoxLayout(window.get());
    if (kind == QLatin1String("list")) {
        auto* list = new QListWidget;
        list->setUniformItemSizes(true);
        for (int i = 1; i <= n; ++i)
            list->addItem(QStringLiteral("行%1").arg(i));
        layout->addWidget(list);
    } else if (kind == QLatin1String("paste")) {
        QCoreApplication::setApplicationName(QStringLiteral("Sayri-paste-target"));
        auto* field = new PasteField(args.value(args.indexOf(QStringLiteral("--out")) + 1));
        layout->addWidget(field);
        if (args.contains(QStringLiteral("--menu"))) {
            auto* bar = new QMenuBar;
            QMenu* file = bar->addMenu(QStringLiteral("&File"));
            file->addAction(QStringLiteral("&Quit"));
            QObject::connect(file, &QMenu::aboutToShow, field, [field] { field->note("File menu"); });
            layout->setMenuBar(bar);
        }
        field->setFocus();
    } else if (kind == QLatin1String("terms")) {
        auto* password = new QLineEdit(QStringLiteral("PassphraseSecret"));
        password->setEchoMode(QLineEdit::Password);
        for (QWidget* w : QList<QWidget*>{
                 new QLabel(QStringLiteral("プロジェクト会議の議事録")), new QLabel(QStringLiteral("担当: 渡邊さん")),
                 new QLineEdit(QStringLiteral("TypeScript Kubernetes")),
                 new QPlainTextEdit(QStringLiteral("サイリの音声認識をTypeScriptで書き直します。\n"
                                                   "Kubernetesの設定ファイルも更新。音声認識の精度を確認。")),
                 password, new QPushButton(QStringLiteral("キャンセル"))})
            layout->addWidget(w);
    } else {
        std::fprintf(stderr, "usage: sayri-screen-window terms|list N|paste ...\n");
        return 2;
    }

    window->resize(480, 360);
    window->show();
    window->raise();
    window->activateWindow();

    bool announced = false;
    auto announce = [&] {
        if (announced || QGuiApplication::focusWindow() != window->windowHandle())
            return;
        announced = true;
        std::printf("ready 0x%llx\n", static_cast<unsigned long long>(window->winId()));
        std::fflush(stdout);
    };
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, window.get(), [&] { announce(); });
    announce();
    return app.exec();
}
