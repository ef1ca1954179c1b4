#pragma once

#include "platform/ClipboardOwner.h"

#include <memory>

// The clipboard of a Wayland session through its data-control protocol
// (ext_data_control_v1 where offered, else zwlr_data_control_v1), which
// sets the selection without the keyboard focus: Sayri never has it when it
// pastes. The text is offered as UTF-8 plain text and served to each reader
// from the main thread's event loop, without ever waiting on a reader. Until
// the compositor's global is bound, the application's own clipboard is used.
class WaylandDataControl : public ClipboardOwner {
public:
    enum class Protocol { ext, wlr };
    explicit WaylandDataControl(Protocol protocol);
    ~WaylandDataControl() override;

    bool setText(const QString& text, bool alsoSelection) override;

    class Control;

private:
    std::unique_ptr<Control> control_;
};
