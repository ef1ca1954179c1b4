#pragma once

#include "platform/AccessibleTree.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

// The accessibility trees of the desktop's applications through AT-SPI2 over
// D-Bus: the accessibility bus (its address from org.a11y.Bus on the session
// bus, or AT_SPI_BUS_ADDRESS), its registry of applications, an application's
// process id from the bus itself and its toolkit, its windows' roles and
// states, and each element's Name, Text, children, role and state: an element
// is shown when it has the SHOWING state (in GTK 4, which keeps none, when it
// has a place on screen) and is no part of a menu.
//
// Every round of calls goes out at once and is bounded: an application that
// sends nothing for `stallMs`, or not everything within `limitMs`, counts as
// not answering. Safe from any thread.
class AtspiTree : public AccessibleTree {
public:
    struct Timing {
        int stallMs = 1000;
        int limitMs = 3000;
    };

    // The session bus of this process.
    AtspiTree();
    // `sessionBusAddress` empty: the session bus of this process.
    AtspiTree(QString sessionBusAddress, Timing timing);
    ~AtspiTree() override;
    AtspiTree(const AtspiTree&) = delete;
    AtspiTree& operator=(const AtspiTree&) = delete;

    std::optional<bool> accessibilityOn() override;
    bool setAccessibilityOn(bool on) override;
    Window activeWindow(qint64 pid) override;
    std::optional<QList<AccessibleFacts>> read(const QList<Ask>& asks, int valueLimit) override;

    // D-Bus calls sent so far (for diagnostics and tests).
    int callsSent() const { return calls_; }

private:
    // What differs between the toolkits that publish trees.
    struct Toolkit {
        bool gtk4 = false;  // no SHOWING state; unlabelled widgets named after their class
    };

    std::optional<QDBusConnection> sessionBus();
    // Asks the applications of these elements not asked before for their toolkit.
    bool learnToolkits(QDBusConnection& bus, const QList<Ask>& asks);
    Toolkit toolkitOf(const QString& owner);
    std::optional<QDBusConnection> accessibilityBus();
    bool runBatch(class DBusBatch& batch);
    // For each ask with far more children than it is given, the indices of
    // its cells on screen when it is a table; empty otherwise.
    std::optional<std::vector<std::vector<int>>> cellsOnScreen(QDBusConnection& bus, const QList<Ask>& asks,
                                                               const QList<qint64>& childCounts,
                                                               const QList<int>& given);

    const QString sessionAddress_;
    const Timing timing_;
    const int id_;
    std::mutex lock_;
    QString sessionName_;  // our own connection when an address was given
    QString busName_;      // the accessibility bus connection, once made
    int generation_ = 0;
    QHash<QString, Toolkit> toolkits_;  // by the application's bus name
    std::atomic<int> calls_{0};
};
