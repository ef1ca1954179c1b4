// The window the user dictates into, in the desktop-session tests and the
// benchmarks: one whose text Sayri reads through the accessibility bus, or a
// focused text field Sayri pastes into.
//
//   sayri-screen-window KIND [N]
//   sayri-screen-window paste --out DIR [--line] [--menu] [--class C] [--instance I]
//
//   terms        labels, a one-line field, a text field and a password field
//                holding Japanese and English words, in a main window (every
//                other kind is a plain window titled "窓")
//   labels N     N labels "項目1" … "項目N", all children of the window
//   groups N     the same N labels in panels of 30
//   sizes        text fields and labels just under and at the length limits
//   megabyte     a text field holding a megabyte, and one label
//   list N       a list of N rows "行1" … "行N"
//   menus FILE   a main window with a menu bar (File, Edit) and a text field
//                holding the text of FILE
//
//   paste        a focused text field (a one-line one with --line) that writes
//                its whole content to DIR/text at every change and one line per
//                key press but of a modifier alone or a key without a symbol to
//                DIR/keys ("Ctrl+V", "Esc"); --menu adds a menu bar whose File
//                menu (Alt+F) writes "File menu" to DIR/keys when it opens;
//                --class and --instance set the window's class hint
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

// A text of exactly `length` user-perceived characters starting with `head`.
QString padded(const QString& head, int length, const QString& unit = QStringLiteral("あ"))
{
    return head + unit.repeated(length - int(head.size()));
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
    auto* text = new QPlainTextEdit(central);
    text->setPlainText(QStringLiteral("サイリの音声認識をTypeScriptで書き直します。\n"
                                      "Kubernetesの設定ファイルも更新。音声認識の精度を確認。"));
    layout->addWidget(text);
    auto* password = new QLineEdit(QStringLiteral("PassphraseSecret"), central);
    password->setEchoMode(QLineEdit::Password);
    layout->addWidget(password);
    layout->addWidget(new QPushButton(QStringLiteral("キャンセル"), central));
    layout->addWidget(new QPushButton(QStringLiteral("ダウンロード"), central));
    window->setCentralWidget(central);
    return window;
}

std::unique_ptr<QWidget> plainWindow()
{
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("窓"));
    return window;
}

// Labels placed one under another without a layout, so each is a direct child.
void addLabels(QWidget* parent, const QStringList& texts)
{
    int y = 0;
    for (const QString& t : texts) {
        auto* label = new QLabel(t, parent);
        label->setGeometry(0, y, 400, 14);
        y += 14;
    }
}

// N labels "項目1" … "項目N", in panels of `perPanel` (0: all in the window).
std::unique_ptr<QWidget> labelsWindow(int n, int perPanel)
{
    auto window = plainWindow();
    QStringList texts;
    for (int i = 1; i <= n; ++i) {
        texts << QStringLiteral("項目%1").arg(i);
        if (perPanel > 0 && (texts.size() == perPanel || i == n)) {
            addLabels(new QWidget(window.get()), texts);
            texts.clear();
        }
    }
    addLabels(window.get(), texts);
    return window;
}

std::unique_ptr<QWidget> sizesWindow()
{
    auto window = plainWindow();
    auto* layout = new QVBoxLayout(window.get());
    auto field = [&](const QString& text) {
        auto* edit = new QPlainTextEdit(window.get());
        edit->setPlainText(text);
        layout->addWidget(edit);
    };
    field(padded(QStringLiteral("値3999"), 3999));
    field(padded(QStringLiteral("値4000"), 4000));
    // Characters of several code units each: 3999 family emoji are 31992 units.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    field(QStringLiteral("家族") + family.repeated(3997));
    field(QStringLiteral("大家族") + family.repeated(3997));
    field(QStringLiteral("旗") + QStringLiteral("\U0001F1EF\U0001F1F5").repeated(3999));
    layout->addWidget(new QLabel(padded(QStringLiteral("題199"), 199), window.get()));
    layout->addWidget(new QLabel(padded(QStringLiteral("題200"), 200), window.get()));
    return window;
}

std::unique_ptr<QWidget> megabyteWindow()
{
    auto window = plainWindow();
    auto* layout = new QVBoxLayout(window.get());
    auto* edit = new QPlainTextEdit(window.get());
    edit->setPlainText(QStringLiteral("メガバイト").repeated(1024 * 1024 / 5));
    layout->addWidget(edit);
    layout->addWidget(new QLabel(QStringLiteral("メガバイトの隣のラベル"), window.get()));
    return window;
}

std::unique_ptr<QWidget> listWindow(int n)
{
    auto window = plainWindow();
    auto* layout = new QVBoxLayout(window.get());
    auto* list = new QListWidget(window.get());
    list->setUniformItemSizes(true);
    QStringList rows;
    rows.reserve(n);
    for (int i = 1; i <= n; ++i)
        rows << QStringLiteral("行%1").arg(i);
    list->addItems(rows);
    layout->addWidget(list);
    return window;
}

std::unique_ptr<QWidget> menusWindow(const QString& path)
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("メモ"));
    window->menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Open Template"));
    window->menuBar()->addMenu(QStringLiteral("Edit"))->addAction(QStringLiteral("Tabs to Spaces"));
    QFile text(path);
    (void)text.open(QIODevice::ReadOnly);
    window->setCentralWidget(new QPlainTextEdit(QString::fromUtf8(text.readAll()), window.get()));
    return window;
}

// Writes what the paste field holds and the keys it sees into `out`.
class PasteRecorder : public QObject {
public:
    explicit PasteRecorder(QString out) : out_(std::move(out))
    {
        write(QStringLiteral("keys"), {}, QIODevice::WriteOnly);
        writeText({});
    }
    void note(const QByteArray& line) { write(QStringLiteral("keys"), line + '\n', QIODevice::Append); }
    void writeText(const QString& text)
    {
        QSaveFile f(out_ + QStringLiteral("/text"));
        if (f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0)
            f.commit();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        static const QList<int> modifiers{Qt::Key_Shift,   Qt::Key_Control,  Qt::Key_Alt,
                                          Qt::Key_Meta,    Qt::Key_AltGr,    Qt::Key_Super_L,
                                          Qt::Key_Super_R, Qt::Key_CapsLock, Qt::Key_NumLock};
        if (!modifiers.contains(key->key()) && key->key() != 0)
            write(QStringLiteral("keys"),
                  QKeySequence(key->modifiers() | Qt::Key(key->key())).toString(QKeySequence::PortableText).toUtf8()
                      + '\n',
                  QIODevice::Append);
        return false;
    }

private:
    void write(const QString& name, const QByteArray& bytes, QIODevice::OpenMode mode)
    {
        QFile f(out_ + u'/' + name);
        if (f.open(mode | QIODevice::WriteOnly))
            f.write(bytes);
    }
    QString out_;
};

std::unique_ptr<QWidget> pasteWindow(const QStringList& args)
{
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("paste target"));
    auto* layout = new QVBoxLayout(window.get());
    const QString out = args.value(args.indexOf(QStringLiteral("--out")) + 1);
    auto* recorder = new PasteRecorder(out);
    recorder->setParent(window.get());
    QWidget* field = nullptr;
    if (args.contains(QStringLiteral("--line"))) {
        auto* line = new QLineEdit(window.get());
        QObject::connect(line, &QLineEdit::textChanged, recorder, &PasteRecorder::writeText);
        field = line;
    } else {
        auto* edit = new QPlainTextEdit(window.get());
        QObject::connect(edit, &QPlainTextEdit::textChanged, recorder,
                         [recorder, edit] { recorder->writeText(edit->toPlainText()); });
        field = edit;
    }
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
    const qsizetype instance = args.indexOf(QStringLiteral("--instance"));
    if (instance > 0)
        qputenv("RESOURCE_NAME", args.value(instance + 1).toLocal8Bit());
    QApplication app(argc, argv);
    const qsizetype windowClass = args.indexOf(QStringLiteral("--class"));
    if (windowClass > 0)
        QCoreApplication::setApplicationName(args.value(windowClass + 1));

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
    else if (kind == QLatin1String("menus"))
        window = menusWindow(args.value(1));
    if (!window) {
        std::fprintf(stderr,
                     "usage: sayri-screen-window terms|labels N|groups N|sizes|megabyte|list N|menus FILE|paste ...\n");
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
