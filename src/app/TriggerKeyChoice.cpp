// Switching the trigger key from the settings window.
#include "app/AppState.h"

#include "desktop/TriggerKey.h"
#include "store/Config.h"
#include "store/Log.h"

void AppState::applyTriggerKey(const QString& id)
{
    // An unknown id is kept as given; the key in use is then the first row's.
    Config::edit([&id](ConfigData& c) { c.triggerKeyId = id; });
    Config::save();
    const TriggerKey key = TriggerKey::find(id);
    if (s_.hotkeys)
        s_.hotkeys->setTrigger(id);
    flash(QStringLiteral("録音キーを「%1」にしました（2回押しで開始）").arg(key.label), 2.5);
    Log::write(QStringLiteral("録音キーを変更: ") + key.label);
}
