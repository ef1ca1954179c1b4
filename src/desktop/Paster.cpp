#include "desktop/Paster.h"

#include <QClipboard>
#include <QGuiApplication>

// Until key synthesis lands the text only reaches the clipboard.
void Paster::paste(const QString& text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}
