#pragma once

#include <QObject>

#include <functional>

// Hands what Sayri put on the clipboard (the last dictation, a history entry
// copied) to the desktop's clipboard manager before Sayri ends, so that it
// can still be pasted afterwards: on X11 the clipboard lives in the program
// that set it. Installed on the application, it holds back the first request
// to quit while it asks the manager (the CLIPBOARD_MANAGER selection's
// SAVE_TARGETS) and the event loop serves the manager's requests for the
// text; then it lets the quit through. At most `limit` seconds; at once when
// Sayri owns no clipboard or no manager runs.
class X11ClipboardHandover : public QObject {
public:
    explicit X11ClipboardHandover(double limit = 3.0);
    ~X11ClipboardHandover() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Starts the handover; false when there is nothing to hand over.
    bool begin();
    // Ends the handover (with the manager's answer or at the limit) and quits.
    void end(const QString& outcome);
    void readEvents();

    const double limit_;
    struct Connection;
    Connection* x_ = nullptr;
    bool handing_ = false;
    bool done_ = false;
};
