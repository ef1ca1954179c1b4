#include "platform/linux/input/EvdevReader.h"

#include <linux/input.h>

#include <cstring>

EvdevReader::EvdevReader(std::function<std::set<std::uint16_t>()> heldNow) : heldNow_(std::move(heldNow)) {}

QList<EvdevReader::Key> EvdevReader::feed(const QByteArray& bytes)
{
    pending_.append(bytes);
    QList<Key> out;
    qsizetype at = 0;
    for (; pending_.size() - at >= qsizetype(sizeof(input_event)); at += sizeof(input_event)) {
        input_event e;
        std::memcpy(&e, pending_.constData() + at, sizeof e);
        if (e.type == EV_SYN && e.code == SYN_DROPPED) {
            dropping_ = true;
            frame_.clear();
        } else if (e.type == EV_SYN && e.code == SYN_REPORT) {
            if (dropping_) {
                // What the lost events changed, as the device holds it now.
                dropping_ = false;
                const std::set<std::uint16_t> now = heldNow_ ? heldNow_() : std::set<std::uint16_t>{};
                for (const std::uint16_t code : held_) {
                    if (!now.count(code))
                        frame_ << Key{code, 0, true};
                }
                for (const std::uint16_t code : now) {
                    if (!held_.count(code))
                        frame_ << Key{code, 1, true};
                }
            }
            for (const Key& key : frame_) {
                if (key.value == 1)
                    held_.insert(key.code);
                else if (key.value == 0)
                    held_.erase(key.code);
            }
            out << frame_;
            frame_.clear();
        } else if (e.type == EV_KEY && !dropping_ && e.value >= 0 && e.value <= 2) {
            frame_ << Key{e.code, e.value};
        }
    }
    pending_.remove(0, at);
    return out;
}
