#pragma once

#include <QString>
#include <QStringList>

// The four pages of the settings window, in sidebar order.
enum class SettingsPage { general = 0, dictionary = 1, history = 2, about = 3 };

namespace SettingsPages {

inline const QStringList& titles()
{
    static const QStringList list{QStringLiteral("設定"), QStringLiteral("じぶん辞書"), QStringLiteral("履歴"),
                                  QStringLiteral("使い方")};
    return list;
}
inline QString title(SettingsPage page)
{
    return titles().at(int(page));
}
// "dictionary", "history" and "about" name their pages; any other name the general one.
inline SettingsPage fromName(const QString& name)
{
    if (name == QLatin1String("dictionary"))
        return SettingsPage::dictionary;
    if (name == QLatin1String("history"))
        return SettingsPage::history;
    if (name == QLatin1String("about"))
        return SettingsPage::about;
    return SettingsPage::general;
}

}  // namespace SettingsPages
