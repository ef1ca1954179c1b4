#pragma once

// The keys Sayri itself injects (the paste keystroke) come back to its global
// key source like the user's own. The synthesizer announces each one here
// before sending it, and the key source takes the matching events out, so they
// never count as the user's.
namespace X11InjectedKeys {

void expect(int keycode, bool press);
// True when a synthetic event with this key and direction was announced; the
// announcement is used up. Announcements that never came back expire.
bool consume(int keycode, bool press);

}  // namespace X11InjectedKeys
