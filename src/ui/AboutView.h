#pragma once

// The About window as the controller sees it.
class AboutView {
public:
    virtual ~AboutView() = default;
    virtual void show() = 0;
    // Builds the window if needed and brings it to the front as key window.
    virtual void bringToFront() = 0;
};
