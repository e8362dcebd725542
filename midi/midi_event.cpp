#include "midi/midi_event.h"

#include <algorithm>
#include <cstring>

namespace seqconv {

MidiEvent::MidiEvent(std::uint32_t at, MidiEventType kind, std::uint32_t on_channel, const std::uint8_t* data,
                     std::size_t size)
    : timestamp(at), type(kind), channel(static_cast<std::uint8_t>(on_channel)) {
    const std::size_t head = std::min(size, inline_capacity);
    inline_size_ = static_cast<std::uint8_t>(head);
    if (head != 0) std::memcpy(inline_data_.data(), data, head);
    if (size > inline_capacity)
        extended_data_ = std::make_unique<std::vector<std::uint8_t>>(data + inline_capacity, data + size);
}

MidiEvent::MidiEvent(const MidiEvent& other)
    : timestamp(other.timestamp),
      type(other.type),
      channel(other.channel),
      inline_size_(other.inline_size_),
      inline_data_(other.inline_data_),
      extended_data_(other.extended_data_ ? std::make_unique<std::vector<std::uint8_t>>(*other.extended_data_)
                                          : nullptr) {}

MidiEvent& MidiEvent::operator=(const MidiEvent& other) {
    if (this != &other) *this = MidiEvent(other);
    return *this;
}

const std::vector<std::uint8_t>& MidiEvent::extended_data() const {
    static const std::vector<std::uint8_t> none;
    return extended_data_ ? *extended_data_ : none;
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
        std::memcpy(destination + copied, extended_data_->data() + from, count - copied);
        copied = count;
    }
    return copied;
}

}  // namespace seqconv

namespace seqconv {
static_assert(sizeof(void*) != 8 || sizeof(MidiEvent) == 32, "an event should take 32 bytes on 64-bit systems");
}  // namespace seqconv
