#pragma once

#include <QList>
#include <QString>

#include <optional>

// One element of another application's accessibility tree. Opaque to its
// users: only the tree that handed it out knows what the two parts mean.
struct AccessibleElement {
    QString owner;
    QString path;
    bool operator==(const AccessibleElement&) const = default;
};

// What one element shows: its accessible name (the title), its text content
// (the value) and its children in order.
struct AccessibleFacts {
    QString title;
    std::optional<QString> value;       // present only when shorter than the limit asked for
    QList<AccessibleElement> children;  // at most the number asked for, the first ones
    // False for an element the user does not see: not on screen (a closed
    // menu's items, a hidden page, a toolbar switched off) or part of the
    // application's menus (menu bars, menus and their items, which on other
    // desktops are not part of the window). Nothing of it or below it is read.
    bool shown = true;
    // A document the application shows (a web page in a browser, a text or a
    // spreadsheet in an office suite).
    bool document = false;
    // The element says it has children but hands none out: the application
    // keeps its contents from assistive technology.
    bool withheld = false;
    // The element takes the keyboard focus: a control a screen reader names.
    bool focusable = false;
};

// Read access to the accessibility trees the desktop's applications publish.
// Every answer is bounded in time: an application that does not answer makes
// the call fail instead of waiting for it. Safe from any thread; several
// threads may read at once.
class AccessibleTree {
public:
    struct Ask {
        AccessibleElement element;
        int maxChildren = 0;  // 0: the children are not needed
        // Elements read together are met one after another, so what the
        // earlier ones hold leaves less room for the later ones: the
        // children handed out to the earlier asks of the same read that draw
        // on the budget are taken off this one's maximum.
        bool drawsOnBudget = false;
    };

    // The focused window of an application, or why there is none.
    struct Window {
        std::optional<AccessibleElement> element;
        // False when the bus answered and none of its applications runs in
        // that process (a sandboxed application, whose process ids differ
        // from the desktop's; one that publishes nothing).
        bool applicationFound = true;
    };

    // How many children each ask receives, in order, of `available` (those
    // the element has): at most its maximum, less what the earlier asks
    // drawing on the budget received.
    static QList<int> childrenGiven(const QList<Ask>& asks, const QList<qint64>& available);

    virtual ~AccessibleTree() = default;

    // The desktop's accessibility switch, which makes toolkits publish their
    // trees: whether it is on; none when it cannot be read.
    virtual std::optional<bool> accessibilityOn() = 0;
    // Sets that switch. True when the desktop took the change.
    virtual bool setAccessibilityOn(bool on) = 0;

    // The focused window of the application with this process id; none when
    // the application publishes nothing, has no focused window, or does not
    // answer in time.
    virtual Window activeWindow(qint64 pid) = 0;

    // The facts of several elements at once, in the order asked (children as
    // childrenGiven() allots them). A value is
    // given only when it has fewer than `valueLimit` characters (user-perceived).
    // None when the application stopped answering; the caller gives up then.
    virtual std::optional<QList<AccessibleFacts>> read(const QList<Ask>& asks, int valueLimit) = 0;
};
