#include "platform/QtClipboardOwner.h"

#include <QClipboard>
#include <QGuiApplication>

void QtClipboardOwner::setText(const QString& text, bool alsoSelection)
{
    // setText replaces everything that was on the clipboard.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    if (alsoSelection && QGuiApplication::clipboard()->supportsSelection())
        QGuiApplication::clipboard()->setText(text, QClipboard::Selection);
}
