// A stand-in for the application the user dictates into: one focused text
// field, which records what it receives.
//
//   sayri-paste-target --out DIR [--line] [--class CLASS] [--instance NAME] [--terminal]
//
//   DIR/text   the field's whole content, rewritten at every change (UTF-8)
//   DIR/keys   one line per key press the field sees, e.g. "Ctrl+V", "Esc"
//              (presses of modifier keys alone are not listed)
//   --line     a one-line field (QLineEdit) instead of a QPlainTextEdit
//   --class, --instance
//              the window's class hint (WM_CLASS), e.g. --class XTerm --instance xterm
//   --terminal behave like a terminal emulator: Ctrl+Shift+V pastes, Ctrl+V does not
//
// Prints "ready 0x<window id>" on stdout once its window has the focus.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWindow>
#include <QWidget>

#include <cstdio>

namespace {

struct Options {
    QString out;
    QString windowClass;
    QString instance;
    bool line = false;
    bool terminal = false;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        auto next = [&] { return i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString(); };
        if (a == "--out")
            o.out = next();
        else if (a == "--class")
            o.windowClass = next();
        else if (a == "--instance")
            o.instance = next();
        else if (a == "--line")
            o.line = true;
        else if (a == "--terminal")
            o.terminal = true;
    }
    return o;
}

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta
        || key == Qt::Key_AltGr || key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_CapsLock
        || key == Qt::Key_NumLock;
}

class Recorder : public QObject {
public:
    Recorder(const Options& o, QWidget* field) : o_(o), field_(field)
    {
        QFile keys(o_.out + QStringLiteral("/keys"));
        keys.open(QIODevice::WriteOnly | QIODevice::Truncate);
        writeText(QString());
    }

    void writeText(const QString& text)
    {
        QSaveFile f(o_.out + QStringLiteral("/text"));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(text.toUtf8());
            f.commit();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (!isModifierKey(key->key())) {
            const QString name = QKeySequence(key->modifiers() | Qt::Key(key->key())).toString(QKeySequence::PortableText);
            QFile keys(o_.out + QStringLiteral("/keys"));
            if (keys.open(QIODevice::WriteOnly | QIODevice::Append))
                keys.write(name.toUtf8() + '\n');
        }
        if (o_.terminal) {
            const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
            if (key->key() == Qt::Key_V && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
                paste();
                return true;
            }
            if (key->matches(QKeySequence::Paste))
                return true;  // a terminal passes Ctrl+V to its program
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void paste()
    {
        const QString text = QGuiApplication::clipboard()->text();
        if (auto* edit = qobject_cast<QPlainTextEdit*>(field_))
            edit->insertPlainText(text);
        else if (auto* line = qobject_cast<QLineEdit*>(field_))
            line->insert(text);
    }

    Options o_;
    QWidget* field_;
};

}  // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    if (o.out.isEmpty() || !QDir(o.out).exists()) {
        std::fprintf(stderr, "usage: sayri-paste-target --out EXISTING_DIR [--line] [--class CLASS] [--instance NAME] [--terminal]\n");
        return 2;
    }
    // The class hint's instance part comes from RESOURCE_NAME, its class part
    // from the application name.
    if (!o.instance.isEmpty())
        qputenv("RESOURCE_NAME", o.instance.toLocal8Bit());
    QApplication app(argc, argv);
    if (!o.windowClass.isEmpty())
        QCoreApplication::setApplicationName(o.windowClass);

    QWidget window;
    window.setWindowTitle(QStringLiteral("paste target"));
    auto* layout = new QVBoxLayout(&window);
    QWidget* field = nullptr;
    if (o.line) {
        auto* line = new QLineEdit(&window);
        field = line;
    } else {
        field = new QPlainTextEdit(&window);
    }
    layout->addWidget(field);
    Recorder recorder(o, field);
    field->installEventFilter(&recorder);
    if (auto* line = qobject_cast<QLineEdit*>(field))
        QObject::connect(line, &QLineEdit::textChanged, &recorder, [&recorder](const QString& t) { recorder.writeText(t); });
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(field))
        QObject::connect(edit, &QPlainTextEdit::textChanged, &recorder, [&recorder, edit] { recorder.writeText(edit->toPlainText()); });

    window.resize(480, 240);
    window.show();
    window.raise();
    window.activateWindow();
    field->setFocus();

    bool announced = false;
    auto announce = [&] {
        if (announced || QGuiApplication::focusWindow() != window.windowHandle())
            return;
        announced = true;
        std::printf("ready 0x%llx\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    };
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &window, [&] { announce(); });
    announce();
    return app.exec();
}
