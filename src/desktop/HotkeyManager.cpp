#include "desktop/HotkeyManager.h"

// Placeholder until the global key source lands: listening never begins.
void HotkeyManager::start() {}
