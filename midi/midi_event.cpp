#include "midi/midi_event.h"

#include <algorithm>
#include <cstring>

namespace seqconv {

MidiEvent::MidiEvent(std::uint32_t at, MidiEventType kind, std::uint32_t on_channel, const std::uint8_t* data,
                     std::size_t size)
    : timestamp(at), type(kind), channel(on_channel) {
    const std::size_t head = std::min(size, inline_capacity);
    inline_size_ = static_cast<std::uint32_t>(head);
    if (head != 0) std::memcpy(inline_data_.data(), data, head);
    if (size > inline_capacity) extended_data_.assign(data + inline_capacity, data + size);
}

std::size_t MidiEvent::get_data(std::size_t offset, std::size_t count, std::uint8_t* destination) const {
    const std::size_t size = get_data_size();
    if (offset >= size) return 0;
    count = std::min(count, size - offset);
    std::size_t copied = 0;
    if (offset < inline_size_) {
        copied = std::min<std::size_t>(count, inline_size_ - offset);
        std::memcpy(destination, inline_data_.data() + offset, copied);
    }
    if (copied < count) {
        const std::size_t from = offset + copied - inline_capacity;
        std::memcpy(destination + copied, extended_data_.data() + from, count - copied);
        copied = count;
    }
    return copied;
}

}  // namespace seqconv
