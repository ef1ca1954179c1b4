#pragma once

#include <QPointer>
#include <QWidget>

// The keyboard focus mark of one window: a 2-point orange rounded ring drawn
// around the control with the focus once Tab, Shift+Tab or a shortcut has
// moved it, until the next click. A mouse user never sees it, so the window
// looks to them as it always did.
class FocusRing : public QWidget {
    Q_OBJECT
public:
    // Gives `window` its ring (once; the ring is its child).
    static void attach(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    explicit FocusRing(QWidget* window);
    void follow();

    QPointer<QWidget> target_;
    bool byKeys_ = false;
};
