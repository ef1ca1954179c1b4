#include "platform/linux/wayland/WaylandDataControl.h"

#include "platform/QtClipboardOwner.h"
#include "platform/linux/system/PipeWriter.h"
#include "platform/linux/wayland/WaylandNative.h"
#include "store/Log.h"

#include "qwayland-ext-data-control-v1.h"
#include "qwayland-wlr-data-control-unstable-v1.h"

#include <QtWaylandClient/QWaylandClientExtensionTemplate>

#include <wayland-client.h>

#include <optional>


namespace {

// The types in which data is offered: what text readers of either world ask for.
const QStringList textTypes{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                            QStringLiteral("text/plain"), QStringLiteral("TEXT"), QStringLiteral("STRING")};

}  // namespace

class WaylandDataControl::Control {
public:
    virtual ~Control() = default;
    // Nothing while the compositor's global is not bound; otherwise whether
    // the primary selection, where asked for, could be set too.
    virtual std::optional<bool> setText(const QByteArray& utf8, bool alsoSelection) = 0;
};

namespace {

// The two protocols are the same but for their names: the classes that
// react to events are written once for each name.
#define SAYRI_DATA_CONTROL(P, primaryFrom)                                                              \
    struct P##_names {                                                                                  \
        using ManagerBase = QtWayland::P##_manager_v1;                                                  \
        /* The version that has the primary selection. */                                               \
        static constexpr int version = primaryFrom;                                                     \
    };                                                                                                  \
    class P##_source : public QtWayland::P##_source_v1 {                                                \
    public:                                                                                             \
        P##_source(::P##_source_v1* s, QByteArray text) : QtWayland::P##_source_v1(s), text_(text) {}   \
        ~P##_source() override { destroy(); }                                                           \
                                                                                                        \
    protected:                                                                                          \
        void P##_source_v1_send(const QString&, int32_t fd) override { PipeWriter::start(fd, text_); }  \
                                                                                                        \
    private:                                                                                            \
        QByteArray text_;                                                                               \
    };                                                                                                  \
    class P##_device : public QtWayland::P##_device_v1 {                                                \
    public:                                                                                             \
        using QtWayland::P##_device_v1::P##_device_v1;                                                  \
        ~P##_device() override                                                                          \
        {                                                                                               \
            if (!finished)                                                                              \
                destroy();                                                                              \
        }                                                                                               \
        bool finished = false;                                                                          \
                                                                                                        \
    protected:                                                                                          \
        /* What others put on the clipboard is never read: each offer is let go at once. */            \
        void P##_device_v1_data_offer(::P##_offer_v1* offer) override { P##_offer_v1_destroy(offer); }  \
        void P##_device_v1_finished() override { finished = true; }                                     \
    };

SAYRI_DATA_CONTROL(zwlr_data_control, 2)
SAYRI_DATA_CONTROL(ext_data_control, 1)
#undef SAYRI_DATA_CONTROL

template <class Names, class Source, class Device> class DataControlOf final : public WaylandDataControl::Control {
    class Manager : public QWaylandClientExtensionTemplate<Manager>, public Names::ManagerBase {
    public:
        Manager() : QWaylandClientExtensionTemplate<Manager>(Names::version) {}
    };

public:
    std::optional<bool> setText(const QByteArray& utf8, bool alsoSelection) override
    {
        if (!manager_.isActive() || !WaylandNative::seat())
            return std::nullopt;
        if (!device_ || device_->finished)
            device_ = std::make_unique<Device>(manager_.get_data_device(WaylandNative::seat()));
        // The sources set before are let go once the new ones are in place:
        // a cancelled one (another program took the selection) serves nobody.
        const std::unique_ptr<Source> previous[] = {std::move(clipboard_), std::move(primary_)};
        clipboard_ = offer(utf8);
        device_->set_selection(clipboard_->object());
        const bool primary = alsoSelection && int(device_->version()) >= Names::version;
        if (primary) {
            primary_ = offer(utf8);
            device_->set_primary_selection(primary_->object());
        }
        wl_display_flush(WaylandNative::display());
        return primary || !alsoSelection;
    }

private:
    // A source of its own for each selection: a source serves only one.
    std::unique_ptr<Source> offer(const QByteArray& utf8)
    {
        auto source = std::make_unique<Source>(manager_.create_data_source(), utf8);
        for (const QString& type : textTypes)
            source->offer(type);
        return source;
    }

    Manager manager_;
    std::unique_ptr<Device> device_;
    std::unique_ptr<Source> clipboard_;
    std::unique_ptr<Source> primary_;
};

}  // namespace

WaylandDataControl::WaylandDataControl(Protocol protocol)
{
    if (protocol == Protocol::ext)
        control_ = std::make_unique<DataControlOf<ext_data_control_names, ext_data_control_source, ext_data_control_device>>();
    else
        control_ =
            std::make_unique<DataControlOf<zwlr_data_control_names, zwlr_data_control_source, zwlr_data_control_device>>();
}

WaylandDataControl::~WaylandDataControl() = default;

bool WaylandDataControl::setText(const QString& text, bool alsoSelection)
{
    if (const std::optional<bool> placed = control_->setText(text.toUtf8(), alsoSelection))
        return *placed;
    Log::write(QStringLiteral("クリップボードの仕組み（data-control）がまだ使えないため、サイリのウインドウ経由で入れます"));
    return QtClipboardOwner().setText(text, alsoSelection);
}
