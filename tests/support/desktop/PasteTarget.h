#pragma once

#include "ScreenWindow.h"
#include "TestDataFolder.h"

#include <QTemporaryDir>

// The window a dictation is pasted into: sayri-screen-window's focused text
// field (class "Sayri-paste-target"), which records the text it holds and the
// key presses it sees; with `menuBar`, "File menu" in keys() when Alt+F opens
// its menu.
//
//   PasteTarget target;
//   QVERIFY(target.start());                  // waits until its window has the focus
//   QTRY_COMPARE(target.text(), expected);
//   QCOMPARE(target.keys(), QStringList{"Ctrl+V"});
class PasteTarget : public ScreenWindow {
public:
    explicit PasteTarget(bool menuBar = false) : ScreenWindow({QStringLiteral("paste")})
    {
        arguments_ << QStringLiteral("--out") << dir_.path();
        if (menuBar)
            arguments_ << QStringLiteral("--menu");
    }

    QString text() const { return QString::fromUtf8(readFile(dir_.filePath(QStringLiteral("text")))); }
    QStringList keys() const
    {
        return QString::fromUtf8(readFile(dir_.filePath(QStringLiteral("keys")))).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir dir_;
};
