#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <utility>
#include <vector>

namespace seqconv {

// The kind of a MIDI message. Values 0 to 6 mirror the high nibble of a
// channel status byte minus 8, so status = 0x80 + 16 * type + channel.
enum class MidiEventType : std::uint8_t {
    note_off = 0,
    note_on = 1,
    poly_aftertouch = 2,
    control_change = 3,
    program_change = 4,
    channel_aftertouch = 5,
    pitch_wheel = 6,
    extended = 7,  // meta event (FF type payload) or system exclusive (F0 payload)
};

// One timed MIDI message.
//
// Channel events hold only their one or two data bytes, never the status.
// Extended events hold the whole message without its length field: FF, the
// meta type and the payload, or F0 and the system-exclusive payload. The end
// of a track is the extended event FF 2F.
//
// Up to 16 data bytes live inside the event; only longer meta and
// system-exclusive messages allocate. An event takes 24 bytes: the time, the
// kind, the channel and the inline size in 8 bytes, then 16 bytes that hold
// either the data or, for a message longer than 16 bytes, a pointer to the
// whole of it. Songs of millions of events are held whole, so every byte of
// an event counts.
class MidiEvent {
public:
    static constexpr std::size_t inline_capacity = 16;

    MidiEvent() = default;
    MidiEvent(std::uint32_t at, MidiEventType kind, std::uint32_t on_channel, const std::uint8_t* data,
              std::size_t size)
        : timestamp(at), type(kind), channel(static_cast<std::uint8_t>(on_channel)) {
        // Built inline, so that a caller's fixed size copies without a call.
        if (size > inline_capacity) {
            hold_long(data, size);
        } else {
            inline_size_ = static_cast<std::uint8_t>(size);
            if (size != 0) std::memcpy(data_.bytes.data(), data, size);
        }
    }
    MidiEvent(std::uint32_t at, MidiEventType kind, std::uint32_t on_channel, std::span<const std::uint8_t> data)
        : MidiEvent(at, kind, on_channel, data.data(), data.size()) {}
    // A channel event of `size` (1 or 2) data bytes, built without a buffer.
    MidiEvent(std::uint32_t at, MidiEventType kind, std::uint32_t on_channel, std::uint8_t first, std::uint8_t second,
              std::size_t size)
        : timestamp(at),
          type(kind),
          channel(static_cast<std::uint8_t>(on_channel)),
          inline_size_(static_cast<std::uint8_t>(size)),
          data_{{first, second}} {}

    MidiEvent(const MidiEvent& other);
    MidiEvent(MidiEvent&& other) noexcept
        : timestamp(other.timestamp),
          type(other.type),
          channel(other.channel),
          inline_size_(other.inline_size_),
          long_(other.long_),
          data_(other.data_) {
        if (long_) {
            other.long_ = false;
            other.inline_size_ = 0;
        }
    }
    MidiEvent& operator=(const MidiEvent& other) {
        if (this != &other) *this = MidiEvent(other);
        return *this;
    }
    MidiEvent& operator=(MidiEvent&& other) noexcept {
        if (this != &other) {
            this->~MidiEvent();
            new (this) MidiEvent(std::move(other));
        }
        return *this;
    }
    ~MidiEvent() {
        if (long_) delete data_.whole;
    }

    // Exchanges two events member by member; nothing is allocated or freed.
    friend void swap(MidiEvent& a, MidiEvent& b) noexcept {
        std::swap(a.timestamp, b.timestamp);
        std::swap(a.type, b.type);
        std::swap(a.channel, b.channel);
        std::swap(a.inline_size_, b.inline_size_);
        std::swap(a.long_, b.long_);
        std::swap(a.data_, b.data_);
    }

    std::uint32_t timestamp = 0;  // absolute ticks from the start of the song
    MidiEventType type = MidiEventType::note_off;
    std::uint8_t channel = 0;  // 0 to 15 for channel events, 0 for extended ones

    std::size_t get_data_size() const { return long_ ? inline_capacity + data_.whole->rest.size() : inline_size_; }

    // Copies min(count, size - offset) data bytes from `offset` on into
    // `destination` and returns how many were copied. `offset` must not
    // exceed the data size.
    std::size_t get_data(std::size_t offset, std::size_t count, std::uint8_t* destination) const;

    // Data byte i; i must be below get_data_size().
    std::uint8_t data_byte(std::size_t i) const {
        return i < inline_capacity ? head()[i] : data_.whole->rest[i - inline_capacity];
    }

    // The data bytes counted as held in the event itself: all of them up to
    // 16, else the first 16.
    std::size_t inline_size() const { return inline_size_; }
    // Inline byte i (0 or 1) of an event of at most two data bytes, read
    // without a look at the size: what lies past the data is a byte of no
    // meaning, which a writer may store and then write over.
    std::uint8_t short_byte(std::size_t i) const { return data_.bytes[i]; }
    // The data bytes after the 16th; empty when the data has at most 16.
    const std::vector<std::uint8_t>& extended_data() const;

    bool is_channel_event() const { return type != MidiEventType::extended; }
    // An extended event whose data begin FF 2F.
    bool is_end_of_track() const {
        return type == MidiEventType::extended && get_data_size() >= 2 && data_byte(0) == 0xFF && data_byte(1) == 0x2F;
    }

private:
    // A message longer than 16 bytes: its first 16 bytes and the rest.
    struct LongData {
        std::array<std::uint8_t, inline_capacity> head;
        std::vector<std::uint8_t> rest;
    };

    // Takes a message longer than 16 bytes.
    void hold_long(const std::uint8_t* data, std::size_t size);

    const std::uint8_t* head() const { return long_ ? data_.whole->head.data() : data_.bytes.data(); }

    std::uint8_t inline_size_ = 0;  // 0 to 16
    bool long_ = false;             // the data are held in *data_.whole
    // The data up to 16 bytes, or a longer message whole. A plain union of
    // plain types, so copying it copies whichever it holds.
    union Data {
        std::array<std::uint8_t, inline_capacity> bytes;
        LongData* whole;
    };
    Data data_ = {};
};

// The two data bytes of an end-of-track event.
inline constexpr std::uint8_t end_of_track_data[2] = {0xFF, 0x2F};

inline MidiEvent make_end_of_track(std::uint32_t timestamp) {
    return MidiEvent(timestamp, MidiEventType::extended, 0, end_of_track_data, 2);
}

}  // namespace seqconv
