#include "midi/midi_event.h"

#include <algorithm>
#include <cstring>

namespace seqconv {

void MidiEvent::hold_long(const std::uint8_t* data, std::size_t size) {
    auto whole = new LongData{{}, std::vector<std::uint8_t>(data + inline_capacity, data + size)};
    std::memcpy(whole->head.data(), data, inline_capacity);
    data_.whole = whole;
    inline_size_ = static_cast<std::uint8_t>(inline_capacity);
    long_ = true;
}

MidiEvent::MidiEvent(const MidiEvent& other)
    : timestamp(other.timestamp),
      type(other.type),
      channel(other.channel),
      inline_size_(other.inline_size_),
      data_(other.data_) {
    if (other.long_) {
        data_.whole = new LongData(*other.data_.whole);
        long_ = true;
    }
}

const std::vector<std::uint8_t>& MidiEvent::extended_data() const {
    static const std::vector<std::uint8_t> none;
    return long_ ? data_.whole->rest : none;
}

std::size_t MidiEvent::get_data(std::size_t offset, std::size_t count, std::uint8_t* destination) const {
    const std::size_t size = get_data_size();
    if (offset >= size) return 0;
    count = std::min(count, size - offset);
    std::size_t copied = 0;
    if (offset < inline_size_) {
        copied = std::min<std::size_t>(count, inline_size_ - offset);
        std::memcpy(destination, head() + offset, copied);
    }
    if (copied < count) {
        const std::size_t from = offset + copied - inline_capacity;
        std::memcpy(destination + copied, data_.whole->rest.data() + from, count - copied);
        copied = count;
    }
    return copied;
}

}  // namespace seqconv

namespace seqconv {
static_assert(sizeof(void*) != 8 || sizeof(MidiEvent) == 24, "an event should take 24 bytes on 64-bit systems");
}  // namespace seqconv
