#pragma once

#include "ScreenWindow.h"
#include "TestDataFolder.h"

#include <QTemporaryDir>

// The window a dictation is pasted into: sayri-screen-window's focused text
// field, which records the text it holds and the key presses it sees.
//
//   PasteTarget target;                       // or PasteTarget({.windowClass = "XTerm", ...})
//   QVERIFY(target.start());                  // waits until its window has the focus
//   QTRY_COMPARE(target.text(), expected);
//   QCOMPARE(target.keys(), QStringList{"Ctrl+V"});
class PasteTarget : public ScreenWindow {
public:
    struct Options {
        QString windowClass;   // class part of WM_CLASS (default "Sayri-paste-target")
        QString instance;      // instance part of WM_CLASS
        bool menuBar = false;  // with a menu bar; "File menu" in keys() when Alt+F opens it
    };

    PasteTarget() : PasteTarget(Options{}) {}
    explicit PasteTarget(const Options& o) : ScreenWindow({QStringLiteral("paste")})
    {
        arguments_ << QStringLiteral("--out") << dir_.path() << QStringLiteral("--class")
                   << (o.windowClass.isEmpty() ? QStringLiteral("Sayri-paste-target") : o.windowClass);
        if (!o.instance.isEmpty())
            arguments_ << QStringLiteral("--instance") << o.instance;
        if (o.menuBar)
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
