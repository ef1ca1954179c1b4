#pragma once

#include "ui/SettingsView.h"

#include <QObject>
#include <QPointer>

class QLabel;
#include <QWidget>

// The settings window, one shared instance created on first use and kept
// after it is closed. For now a plain window that names the requested page.
class SettingsWindow : public SettingsView {
    Q_OBJECT
public:
    static SettingsWindow& shared();

    void show() override;  // always queued on the main thread
    void show(const QString& page) override;
    void refreshUpdateNotice() override {}

    QWidget* window() const { return window_; }
    QString page() const { return page_; }

private:
    SettingsWindow() = default;
    void showNow();

    QPointer<QWidget> window_;
    QLabel* pageLabel_ = nullptr;
    QString page_ = QStringLiteral("general");
};
