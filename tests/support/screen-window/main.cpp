// The window the user dictates into, in the desktop-session tests and the
// benchmarks: one whose text Sayri reads through the accessibility bus, or a
// focused text field Sayri pastes into. Every kind but terms is a plain
// window titled "窓".
//
//   terms         labels, fields and a password field holding Japanese and English words
//   labels N      N labels "項目1" … "項目N" (groups N: in panels of 30)
//   sizes         text fields and labels just under and at the length limits
//   megabyte      a text field holding a megabyte, and one label
//   list N        a list of N rows "行1" … "行N"
//   paste --out DIR [--menu] [--class C] [--instance I]
//                 a focused text field writing its whole text to DIR/text and each key
//                 pressed (not a modifier alone) to DIR/keys ("Ctrl+V"); --menu adds a File
//                 menu that writes "File menu" there when it opens; C and I: its class hint
//
// Prints "ready 0x<window id>" on stdout once its window has the focus.
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

// A text of exactly `length` characters starting with `head`.
QString padded(const QString& head, int length)
{
    return head + QStringLiteral("あ").repeated(length - int(head.size()));
}

std::unique_ptr<QWidget> termsWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("画面の文脈テスト"));
    auto* central = new QWidget(window.get());
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(QStringLiteral("プロジェクト会議の議事録"), central));
    layout->addWidget(new QLabel(QStringLiteral("担当: 渡邊さん"), central));
    layout->addWidget(new QLineEdit(QStringLiteral("TypeScript Kubernetes"), central));
    layout->addWidget(new QPlainTextEdit(QStringLiteral("サイリの音声認識をTypeScriptで書き直します。\n"
                                                        "Kubernetesの設定ファイルも更新。音声認識の精度を確認。"),
                                         central));
    auto* password = new QLineEdit(QStringLiteral("PassphraseSecret"), central);
    password->setEchoMode(QLineEdit::Password);
    layout->addWidget(password);
    layout->addWidget(new QPushButton(QStringLiteral("キャンセル"), central));
    window->setCentralWidget(central);
    return window;
}

// N labels "項目1" … "項目N", placed without a layout so that each is a direct
// child of the window, or of a panel of `perPanel` (0: no panels).
std::unique_ptr<QWidget> labelsWindow(int n, int perPanel)
{
    auto window = std::make_unique<QWidget>();
    QWidget* parent = window.get();
    for (int i = 0; i < n; ++i) {
        if (perPanel > 0 && i % perPanel == 0)
            parent = new QWidget(window.get());
        auto* label = new QLabel(QStringLiteral("項目%1").arg(i + 1), parent);
        label->setGeometry(0, 14 * (perPanel > 0 ? i % perPanel : i), 400, 14);
    }
    return window;
}

// Fields of 3 999 and 4 000 characters (the family emoji are 8 code units
// each) and labels of 199 and 200.
std::unique_ptr<QWidget> sizesWindow()
{
    auto window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    for (const QString& text : {padded(QStringLiteral("値3999"), 3999), padded(QStringLiteral("値4000"), 4000),
                                QStringLiteral("家族") + family.repeated(3997)})
        layout->addWidget(new QPlainTextEdit(text, window.get()));
    for (int length : {199, 200})
        layout->addWidget(new QLabel(padded(QStringLiteral("題%1").arg(length), length), window.get()));
    return window;
}

std::unique_ptr<QWidget> megabyteWindow()
{
    auto window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(new QPlainTextEdit(QStringLiteral("メガバイト").repeated(1024 * 1024 / 5), window.get()));
    layout->addWidget(new QLabel(QStringLiteral("メガバイトの隣のラベル"), window.get()));
    return window;
}

std::unique_ptr<QWidget> listWindow(int n)
{
    auto window = std::make_unique<QWidget>();
    auto* list = new QListWidget(window.get());
    list->setUniformItemSizes(true);
    QStringList rows;
    for (int i = 1; i <= n; ++i)
        rows << QStringLiteral("行%1").arg(i);
    list->addItems(rows);
    (new QVBoxLayout(window.get()))->addWidget(list);
    return window;
}

// Writes what the paste field holds and the keys it sees into `out`.
class PasteRecorder : public QObject {
public:
    explicit PasteRecorder(QString out) : out_(std::move(out))
    {
        (void)QFile(out_ + QStringLiteral("/keys")).open(QIODevice::WriteOnly);
        writeText({});
    }
    void note(const QByteArray& line)
    {
        QFile keys(out_ + QStringLiteral("/keys"));
        if (keys.open(QIODevice::Append))
            keys.write(line + '\n');
    }
    void writeText(const QString& text)
    {
        QSaveFile f(out_ + QStringLiteral("/text"));  // never read half-written
        if (f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0)
            f.commit();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != 0 && (key->key() < Qt::Key_Shift || key->key() > Qt::Key_ScrollLock))
            note(QKeySequence(key->modifiers() | Qt::Key(key->key())).toString(QKeySequence::PortableText).toUtf8());
        return false;
    }

private:
    QString out_;
};

std::unique_ptr<QWidget> pasteWindow(const QStringList& args)
{
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("paste target"));
    auto* layout = new QVBoxLayout(window.get());
    auto* recorder = new PasteRecorder(args.value(args.indexOf(QStringLiteral("--out")) + 1));
    recorder->setParent(window.get());
    auto* field = new QPlainTextEdit(window.get());
    QObject::connect(field, &QPlainTextEdit::textChanged, recorder,
                     [recorder, field] { recorder->writeText(field->toPlainText()); });
    field->installEventFilter(recorder);
    layout->addWidget(field);
    if (args.contains(QStringLiteral("--menu"))) {
        auto* bar = new QMenuBar(window.get());
        QMenu* file = bar->addMenu(QStringLiteral("&File"));
        file->addAction(QStringLiteral("&Quit"));
        QObject::connect(file, &QMenu::aboutToShow, recorder, [recorder] { recorder->note("File menu"); });
        layout->setMenuBar(bar);
    }
    field->setFocus();
    return window;
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString kind = args.value(0);
    const int n = args.value(1).toInt();
    // The class hint's instance part comes from RESOURCE_NAME, its class part
    // from the application name.
    if (args.contains(QStringLiteral("--instance")))
        qputenv("RESOURCE_NAME", args.value(args.indexOf(QStringLiteral("--instance")) + 1).toLocal8Bit());
    QApplication app(argc, argv);
    if (args.contains(QStringLiteral("--class")))
        QCoreApplication::setApplicationName(args.value(args.indexOf(QStringLiteral("--class")) + 1));

    std::unique_ptr<QWidget> window;
    if (kind == QLatin1String("paste"))
        window = pasteWindow(args);
    else if (kind == QLatin1String("terms"))
        window = termsWindow();
    else if (kind == QLatin1String("labels") || kind == QLatin1String("groups"))
        window = labelsWindow(n, kind == QLatin1String("groups") ? 30 : 0);
    else if (kind == QLatin1String("sizes"))
        window = sizesWindow();
    else if (kind == QLatin1String("megabyte"))
        window = megabyteWindow();
    else if (kind == QLatin1String("list"))
        window = listWindow(n);
    if (!window) {
        std::fprintf(stderr, "usage: sayri-screen-window terms|labels N|groups N|sizes|megabyte|list N|paste ...\n");
        return 2;
    }
    if (window->windowTitle().isEmpty())
        window->setWindowTitle(QStringLiteral("窓"));

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
