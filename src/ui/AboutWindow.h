#pragma once

#include "ui/AboutView.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

// The About window, one shared instance built on first show and kept after it
// is closed: logo, name, version, the terms and privacy links, and the
// licences of the open-source software Sayri ships or runs.
class AboutWindow : public QObject, public AboutView {
    Q_OBJECT
public:
    static AboutWindow& shared();
    // Builds the window if needed, brings it to the front and activates it.
    void show() override;
    void bringToFront() override;
    QWidget* window() const { return window_; }

    struct Credit {
        QString heading;
        QString licenseFile;  // name of the text in the licence folder, without ".txt"
    };
    static const QList<Credit>& credits();
    // Every credit's heading and licence text, separated by rule lines. A
    // licence missing from `folder` is named instead of its text.
    static QString creditsText(const QString& folder = QStringLiteral(":/licenses"));
    // `text` with the hard line breaks inside paragraphs taken out, so that
    // the narrow credits view wraps it evenly. Blank lines, list items and
    // indented headings keep their own lines; no word changes.
    static QString reflowed(const QString& text);
    // A page on the maker's web site ("/terms/"), or an empty address while
    // the site is not configured.
    static QUrl pageUrl(const QString& path);

private:
    AboutWindow() = default;
    void buildIfNeeded();
    QPointer<QWidget> window_;
};
