#pragma once

#include <QObject>
#include <QString>

class QMenu;

// The tray icon. `setIcon` takes one of the phase symbols "🎙️", "🔴", "⏳".
class StatusIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setIcon(const QString& symbol) = 0;

Q_SIGNALS:
    // Each time the menu is about to open, to fill it afresh.
    void menuAboutToShow(QMenu* menu);
    // Whether the desktop shows the icon: false once at start where it has
    // no tray, true when one appears later.
    void availabilityChanged(bool available);
};
