#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

// A key the user may choose to drive dictation with. Key codes and the flag
// are macOS virtual key codes and event-flag masks; the keyboard source
// translates into those.
struct TriggerKey {
    QString id;                          // stored in the settings as triggerKeyId
    QString label;                       // shown to the user
    std::vector<std::int64_t> keyCodes;  // the keys that count as this key
    std::uint64_t flag = 0;              // set while this key is held

    bool hasKeyCode(std::int64_t code) const;

    // The fixed table, in the order the settings window lists it: the keys
    // this platform's key source can deliver.
    static const QList<TriggerKey>& all();
    // Whether the table has a row of that id.
    static bool offers(const QString& id);
    // The entry whose id equals `id` exactly; the first entry when none does.
    static TriggerKey find(const QString& id);
};
