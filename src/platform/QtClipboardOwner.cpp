#include "platform/QtClipboardOwner.h"

#include <QClipboard>
#include <QGuiApplication>

bool QtClipboardOwner::setText(const QString& text, bool alsoSelection)
{
    // setText replaces everything that was on the clipboard.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    if (!alsoSelection)
        return true;
    if (!QGuiApplication::clipboard()->supportsSelection())
        return false;
    QGuiApplication::clipboard()->setText(text, QClipboard::Selection);
    return true;
}
