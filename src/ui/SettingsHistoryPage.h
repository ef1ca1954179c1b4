#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QWidget>

class QPushButton;

// The page "履歴": the recent dictations, newest first, each cut to four
// lines with its date and a "コピー" button that copies the whole text.
class SettingsHistoryPage : public QWidget {
    Q_OBJECT
public:
    SettingsHistoryPage(QWidget* parent, QSize windowSize, const QList<QPair<QDateTime, QString>>& entries);

    // Puts the text the button carries on the clipboard and shows
    // "✓ コピーしました" on it for two seconds.
    static void copyHistory(QPushButton* button);
};
