#pragma once

#include <QString>
#include <QStringList>

// Clean-up of recognised text: drops phrases the model tends to invent and
// joins the server's lines into one.
namespace Transcript {

QString clean(const QString& raw);
QString joinLines(const QString& text);
// The separator between the text so far and the next line.
QString 継ぎ目(const QString& 前, const QString& 次);

}  // namespace Transcript
