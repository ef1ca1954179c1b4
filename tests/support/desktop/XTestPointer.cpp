#include "XTestPointer.h"

#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

class Pointer {
public:
    Pointer() : d_(XOpenDisplay(nullptr)) {}
    ~Pointer()
    {
        if (d_)
            XCloseDisplay(d_);
    }
    void move(QPoint p, std::chrono::milliseconds pause = 20ms)
    {
        send([&] { XTestFakeMotionEvent(d_, -1, p.x(), p.y(), CurrentTime); }, pause);
    }
    void button(bool press, std::chrono::milliseconds pause = 60ms)
    {
        send([&] { XTestFakeButtonEvent(d_, 1, press, CurrentTime); }, pause);
    }

private:
    void send(const std::function<void()>& event, std::chrono::milliseconds pause)
    {
        if (!d_)
            return;
        event();
        XSync(d_, False);
        std::this_thread::sleep_for(pause);
    }
    Display* d_;
};

void offThread(const std::function<void(Pointer&)>& steps)
{
    std::atomic<bool> done = false;
    std::thread worker([&] {
        Pointer pointer;
        steps(pointer);
        done = true;
    });
    while (!done)
        QTest::qWait(10);
    worker.join();
    QTest::qWait(100);
}

}  // namespace

namespace XTestPointer {

void click(QPoint at)
{
    offThread([at](Pointer& p) {
        p.move(at, 100ms);
        p.button(true);
        p.button(false);
    });
}

void doubleClick(QPoint at)
{
    offThread([at](Pointer& p) {
        p.move(at, 100ms);
        for (int i = 0; i < 2; ++i) {
            p.button(true, 40ms);
            p.button(false, 40ms);
        }
    });
}

void drag(QPoint from, QPoint to, int steps)
{
    offThread([=](Pointer& p) {
        p.move(from, 100ms);
        p.button(true, 150ms);
        for (int i = 1; i <= steps; ++i)
            p.move(from + (to - from) * i / steps, 30ms);
        p.move(to, 300ms);
        p.button(false, 200ms);
    });
}

}  // namespace XTestPointer
