// A window whose text Sayri reads through the accessibility bus: the window
// the user dictates into, in the screen-context tests and benchmark.
//
//   sayri-screen-window KIND [N]
//
//   terms        labels, a one-line field, a text field and a password field
//                holding Japanese and English words (a main window)
//   other        another main window with other words
//   labels N     N labels "項目1" … "項目N", all children of the window
//   groups N     the same N labels in panels of 30
//   depth N      nested panels N deep; the label "深さk" sits k levels below
//                the window
//   long N       N labels of 199 characters, "長いラベルk" followed by あ
//   sizes        text fields and labels just under and at the length limits
//   megabyte     a text field holding a megabyte, and one label
//   list N       a list of N rows "行1" … "行N"
//
// Every window but the main windows is a plain top-level widget titled "窓".
// Prints "ready 0x<window id>" on stdout once its window has the focus.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

QString repeated(const QString& unit, int times)
{
    QString s;
    s.reserve(unit.size() * times);
    for (int i = 0; i < times; ++i)
        s += unit;
    return s;
}

// A text of exactly `length` user-perceived characters starting with `head`.
QString padded(const QString& head, int length, const QString& unit = QStringLiteral("あ"))
{
    return head + repeated(unit, length - int(head.size()));
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

std::unique_ptr<QWidget> otherWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("別の窓"));
    auto* central = new QWidget(window.get());
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(QStringLiteral("Haskell と Haskell"), central));
    layout->addWidget(new QLabel(QStringLiteral("ドキュメント"), central));
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

std::unique_ptr<QWidget> labelsWindow(int n)
{
    auto window = plainWindow();
    QStringList texts;
    for (int i = 1; i <= n; ++i)
        texts << QStringLiteral("項目%1").arg(i);
    addLabels(window.get(), texts);
    return window;
}

std::unique_ptr<QWidget> groupsWindow(int n)
{
    auto window = plainWindow();
    QWidget* panel = nullptr;
    QStringList texts;
    for (int i = 1; i <= n; ++i) {
        texts << QStringLiteral("項目%1").arg(i);
        if (texts.size() == 30 || i == n) {
            panel = new QWidget(window.get());
            addLabels(panel, texts);
            texts.clear();
        }
    }
    return window;
}

std::unique_ptr<QWidget> depthWindow(int n)
{
    auto window = plainWindow();
    QWidget* parent = window.get();
    for (int k = 1; k <= n; ++k) {
        auto* label = new QLabel(QStringLiteral("深さ%1").arg(k), parent);
        label->setGeometry(2, 2, 80, 14);
        auto* panel = new QWidget(parent);
        panel->setGeometry(4, 16, 380, 600);
        parent = panel;
    }
    return window;
}

std::unique_ptr<QWidget> longLabelsWindow(int n)
{
    auto window = plainWindow();
    QStringList texts;
    for (int k = 1; k <= n; ++k)
        texts << padded(QStringLiteral("長いラベル%1").arg(k), 199);
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
    field(QStringLiteral("家族") + repeated(family, 3997));
    field(QStringLiteral("大家族") + repeated(family, 3997));
    field(QStringLiteral("旗") + repeated(QStringLiteral("\U0001F1EF\U0001F1F5"), 3999));
    layout->addWidget(new QLabel(padded(QStringLiteral("題199"), 199), window.get()));
    layout->addWidget(new QLabel(padded(QStringLiteral("題200"), 200), window.get()));
    return window;
}

std::unique_ptr<QWidget> megabyteWindow()
{
    auto window = plainWindow();
    auto* layout = new QVBoxLayout(window.get());
    auto* edit = new QPlainTextEdit(window.get());
    edit->setPlainText(repeated(QStringLiteral("メガバイト"), 1024 * 1024 / 5));
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

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString kind = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int n = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;

    std::unique_ptr<QWidget> window;
    if (kind == QLatin1String("terms"))
        window = termsWindow();
    else if (kind == QLatin1String("other"))
        window = otherWindow();
    else if (kind == QLatin1String("labels"))
        window = labelsWindow(n);
    else if (kind == QLatin1String("groups"))
        window = groupsWindow(n);
    else if (kind == QLatin1String("depth"))
        window = depthWindow(n);
    else if (kind == QLatin1String("long"))
        window = longLabelsWindow(n);
    else if (kind == QLatin1String("sizes"))
        window = sizesWindow();
    else if (kind == QLatin1String("megabyte"))
        window = megabyteWindow();
    else if (kind == QLatin1String("list"))
        window = listWindow(n);
    if (!window) {
        std::fprintf(stderr, "usage: sayri-screen-window terms|other|labels N|groups N|depth N|long N|sizes|megabyte|list N\n");
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
