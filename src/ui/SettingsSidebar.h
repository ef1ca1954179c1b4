#pragma once

#include "ui/SettingsPage.h"

#include <QList>
#include <QWidget>

class QPushButton;

// The settings window's left column: the logo, name, subtitle and version,
// one button per page, "改善のご要望" (when a feedback address is built in),
// "アップデートを確認", the red update notice and the "完全ローカル動作" badge
// at the bottom. 210 points wide; everything but the badge keeps its distance
// from the top edge.
class SettingsSidebar : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 210;
    explicit SettingsSidebar(QWidget* parent);

    // Marks the button of `page` (gradient, full ink) and the others as not chosen.
    void select(SettingsPage page);
    // Shows "⚠ 新しい版 v{version} → 更新する" while a newer version is known.
    void refreshUpdateNotice();
    // "サイリについて" and "サイリを終了", for a desktop without a tray icon.
    void showTrayActions(bool on);

    const QList<QPushButton*>& pageButtons() const { return pageButtons_; }
    QPushButton* updateNotice() const { return updateNotice_; }

Q_SIGNALS:
    void pageChosen(SettingsPage page);
    void updateCheckRequested();
    void aboutRequested();
    void quitRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPushButton* button(int top, const QString& title);
    void buildBadge();

    QList<QPushButton*> pageButtons_;
    QWidget* highlight_ = nullptr;
    QPushButton* updateNotice_ = nullptr;
    QList<QPushButton*> trayActions_;
    QWidget* badge_ = nullptr;
};
