#pragma once

#include "ui/SettingsPage.h"
#include "ui/SettingsView.h"

#include <QPointer>

class DictionaryTable;
class QLabel;
class QPushButton;
class SettingsSidebar;
class QWidget;

// The settings window: the sidebar on the left and one of four pages on the
// right, rebuilt at every render (on a page change, a resize, a return to the
// general or dictionary page, a write of the dictionary). One shared
// instance, built on its first show; closing hides it and the next show
// brings the same window back, centred again and never minimised.
class SettingsWindow : public SettingsView {
    Q_OBJECT
public:
    static constexpr int defaultW = 880, defaultH = 600, minW = 700, minH = 560;

    static SettingsWindow& shared();
    SettingsWindow();  // the app uses shared(); tests and benchmarks their own
    ~SettingsWindow() override;

    void show() override;  // always queued on the main thread
    void show(const QString& page) override;
    void refreshUpdateNotice() override;
    void offerTrayActions(bool on) override;
    void dictionaryWritten() override;

    // Builds the window when there is none, without showing it.
    void build();
    // Rebuilds the current page inside the window (nothing before build).
    void render();
    void switchPage(SettingsPage page);

    QWidget* window() const { return window_; }
    SettingsPage page() const { return page_; }
    // The page widget of the last render.
    QWidget* currentPage() const { return currentPage_; }
    SettingsSidebar* sidebar() const { return sidebar_; }
    DictionaryTable* dictionaryTable() const { return dictTable_; }
    bool dictNeedsApply() const { return dictNeedsApply_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNow();
    // Escape hides the window; Ctrl+PageDown/PageUp and Ctrl+1…4 change page.
    void addKeys();
    // What tells a control of a page from its siblings: its accessible name or title.
    static QString nameOf(QWidget* control);
    // Puts the focus on the control of the current page called `name`, else on its first one.
    void focusOnPage(const QString& name, Qt::FocusReason reason = Qt::OtherFocusReason);
    void setupTableIfNeeded();
    void renderLater(int milliseconds);
    QWidget* makePage(QSize size);
    void downloadPreviewModel(QLabel* status, QPushButton* button);

    QPointer<QWidget> window_;
    SettingsSidebar* sidebar_ = nullptr;
    QWidget* contentArea_ = nullptr;
    QPointer<QWidget> currentPage_;
    DictionaryTable* dictTable_ = nullptr;  // lent to each dictionary page, owned by the window
    bool tableConnected_ = false;
    SettingsPage page_ = SettingsPage::general;
    bool dictNeedsApply_ = false;
    bool previewDownloadWatched_ = false;  // the card goes once the preview model is in place
    bool trayActions_ = false;
};
