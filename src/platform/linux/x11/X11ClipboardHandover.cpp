#include "platform/linux/x11/X11ClipboardHandover.h"

#include "store/Log.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <X11/Xlib.h>

// A connection of its own: the manager's answer comes here, while Qt's own
// connection serves the manager's requests for the text.
struct X11ClipboardHandover::Connection {
    Display* display = nullptr;
    Window window = 0;
    Atom manager = 0;
    QSocketNotifier* notifier = nullptr;
    ~Connection()
    {
        delete notifier;
        if (window)
            XDestroyWindow(display, window);
        if (display)
            XCloseDisplay(display);
    }
};

X11ClipboardHandover::X11ClipboardHandover(double limit) : limit_(limit) {}

X11ClipboardHandover::~X11ClipboardHandover()
{
    delete x_;
}

bool X11ClipboardHandover::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Quit || watched != QCoreApplication::instance() || done_)
        return QObject::eventFilter(watched, event);
    if (!handing_ && !begin()) {
        done_ = true;
        return QObject::eventFilter(watched, event);
    }
    handing_ = true;
    return true;  // quits once the manager has the text
}

bool X11ClipboardHandover::begin()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !clipboard->ownsClipboard())
        return false;
    x_ = new Connection;
    x_->display = XOpenDisplay(nullptr);
    if (!x_->display)
        return false;
    x_->manager = XInternAtom(x_->display, "CLIPBOARD_MANAGER", False);
    if (XGetSelectionOwner(x_->display, x_->manager) == None) {
        Log::write(QStringLiteral("クリップボードを預ける先（クリップボードマネージャー）がないため、"
                                  "終了するとクリップボードの中身は消えます"));
        return false;
    }
    Display* d = x_->display;
    x_->window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    // No property named: the manager saves every form the text is offered in.
    XConvertSelection(d, x_->manager, XInternAtom(d, "SAVE_TARGETS", False), XInternAtom(d, "SAYRI_SAVED", False),
                      x_->window, CurrentTime);
    XFlush(d);
    x_->notifier = new QSocketNotifier(ConnectionNumber(d), QSocketNotifier::Read);
    connect(x_->notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
    QTimer::singleShot(int(limit_ * 1000), this, [this] {
        end(QStringLiteral("クリップボードマネージャーが%1秒以内に応えませんでした").arg(limit_));
    });
    return true;
}

void X11ClipboardHandover::readEvents()
{
    if (!x_)
        return;
    while (XPending(x_->display) > 0) {
        XEvent event;
        XNextEvent(x_->display, &event);
        if (event.type == SelectionNotify && event.xselection.selection == x_->manager) {
            end(QStringLiteral("クリップボードの中身をクリップボードマネージャーに預けました"));
            return;
        }
    }
}

void X11ClipboardHandover::end(const QString& outcome)
{
    if (done_)
        return;
    done_ = true;
    Log::write(outcome);
    delete std::exchange(x_, nullptr);
    QCoreApplication::quit();
}
