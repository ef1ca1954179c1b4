#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QWidget>

class QPushButton;
class QScrollArea;

// The page "履歴": the recent dictations, newest first, each cut to four
// lines with its date and a "コピー" button that copies the whole text.
class SettingsHistoryPage : public QWidget {
    Q_OBJECT
public:
    SettingsHistoryPage(QWidget* parent, QSize windowSize, const QList<QPair<QDateTime, QString>>& entries);

    // Puts the text the button carries on the clipboard and shows
    // "✓ コピーしました" on it for two seconds.
    static void copyHistory(QPushButton* button);

private:
    // Rows are made as they come into view (and one screen ahead), so that a
    // long history opens as fast as a short one.
    void addRowsInView();
    void addRow(int index);

    QList<QPair<QDateTime, QString>> entries_;
    QList<int> tops_, heights_;
    QList<bool> made_;
    QScrollArea* scroll_ = nullptr;
    QWidget* document_ = nullptr;
    int textWidth_ = 0;
};
