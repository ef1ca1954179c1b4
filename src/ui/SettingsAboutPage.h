#pragma once

#include <QWidget>

// The page "使い方": five cards on how to dictate, the personal dictionary,
// pasting again, screen hints and what stays on this computer.
class SettingsAboutPage : public QWidget {
    Q_OBJECT
public:
    SettingsAboutPage(QWidget* parent, QSize windowSize);
};
