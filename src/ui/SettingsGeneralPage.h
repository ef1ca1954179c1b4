#pragma once

#include "platform/AudioInputs.h"

#include <QWidget>

class LoginItem;
class QComboBox;
class QLabel;
class QPushButton;

// The page "設定": cards for the trigger key, the microphone, start at login,
// screen hints and (where a live-preview engine exists without its
// permission) the live preview. Built afresh at every render.
class SettingsGeneralPage : public QWidget {
    Q_OBJECT
public:
    // `windowWidth` is the whole window's width; the page fills the area
    // right of the sidebar. Either platform part may be missing.
    SettingsGeneralPage(QWidget* parent, int windowWidth, LoginItem* loginItem, AudioInputs* inputs);

    // The microphone pop-up: the automatic choice (empty UID), then the
    // devices; the item of `uid` chosen, or one for a device that is gone.
    static void fillMicPopUp(QComboBox* popUp, const QList<AudioInputDevice>& devices, const QString& uid);

    // The live-preview card's status line and download button; null without the card.
    QLabel* previewNote() const { return previewNote_; }
    QPushButton* previewButton() const { return previewButton_; }

Q_SIGNALS:
    void triggerKeyChosen(const QString& id);
    void micChosen(const QString& uid);
    void screenHintChanged();
    // The preview model's download, showing its progress on `status` and `button`.
    void livePreviewDownloadAsked(QLabel* status, QPushButton* button);

private:
    QWidget* addCard(int index, const QString& icon, const QString& title, const QString& note, int rightInset);
    // A grey line under a card's title; `line` 0 is the first.
    QLabel* addNote(QWidget* card, int line, const QString& note, int rightInset);
    void toggleLogin(bool on);
    void toggleScreenHint(bool on);

    int cardWidth_;
    LoginItem* loginItem_;
    QLabel* previewNote_ = nullptr;
    QPushButton* previewButton_ = nullptr;
};
