#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace seqconv {

// A read-only view over bytes held in memory: the whole input file, or one
// chunk of it. Readers never look outside it.
struct ByteRange {
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* end = nullptr;

    ByteRange() = default;
    ByteRange(const std::uint8_t* first, const std::uint8_t* last) : begin(first), end(last) {}
    ByteRange(const std::uint8_t* first, std::size_t size) : begin(first), end(first + size) {}

    std::size_t size() const { return static_cast<std::size_t>(end - begin); }
    bool empty() const { return begin == end; }
};

// Where `part`, a view into `whole`, begins in it: the offset a fault found
// in a chunk is reported at.
inline std::size_t offset_within(ByteRange whole, ByteRange part) {
    return static_cast<std::size_t>(part.begin - whole.begin);
}

// The one way readers take bytes from a range. Every read checks what
// remains first (written `n > remaining()`, which cannot overflow); a read
// that does not fit takes nothing, leaves the cursor where it was and
// returns false.
class ByteCursor {
public:
    explicit ByteCursor(ByteRange range) : range_(range), position_(range.begin) {}

    std::size_t remaining() const { return static_cast<std::size_t>(range_.end - position_); }
    bool at_end() const { return position_ == range_.end; }
    // Offset of the read position from the start of the range.
    std::size_t offset() const { return static_cast<std::size_t>(position_ - range_.begin); }
    std::size_t size() const { return range_.size(); }
    ByteRange range() const { return range_; }

    // Moves to `offset` from the start of the range, clamped to its end.
    void seek(std::size_t offset) { position_ = range_.begin + (offset < size() ? offset : size()); }

    bool skip(std::size_t n) {
        if (n > remaining()) return false;
        position_ += n;
        return true;
    }

    // The next n bytes as a range of their own.
    bool take(std::size_t n, ByteRange& out) {
        if (n > remaining()) return false;
        out = ByteRange(position_, n);
        position_ += n;
        return true;
    }

    // The next n bytes as a range of their own, without moving past them.
    bool peek(std::size_t n, ByteRange& out) const {
        if (n > remaining()) return false;
        out = ByteRange(position_, n);
        return true;
    }

    // The `length` bytes at `offset` from the start of the range, as a range
    // of their own, wherever the read position stands. False, giving
    // nothing, when they do not lie wholly within the range.
    bool sub(std::size_t offset, std::size_t length, ByteRange& out) const {
        if (offset > size() || length > size() - offset) return false;
        out = ByteRange(range_.begin + offset, length);
        return true;
    }

    // At most n bytes: fewer when the range ends first.
    ByteRange take_at_most(std::size_t n) {
        if (n > remaining()) n = remaining();
        ByteRange out(position_, n);
        position_ += n;
        return out;
    }

    bool u8(std::uint8_t& value) {
        if (at_end()) return false;
        value = *position_++;
        return true;
    }
    bool be16(std::uint16_t& value) { return integer<2, false>(value); }
    bool be32(std::uint32_t& value) { return integer<4, false>(value); }
    bool le16(std::uint16_t& value) { return integer<2, true>(value); }
    bool le32(std::uint32_t& value) { return integer<4, true>(value); }

    // Whether the bytes at the read position are `tag`; reads nothing.
    bool looking_at(std::string_view tag) const {
        return tag.size() <= remaining() && std::memcmp(position_, tag.data(), tag.size()) == 0;
    }
    // Takes `tag` if it is there.
    bool expect(std::string_view tag) {
        if (!looking_at(tag)) return false;
        position_ += tag.size();
        return true;
    }

private:
    template <std::size_t N, bool little_endian, typename T>
    bool integer(T& value) {
        if (N > remaining()) return false;
        T result = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::size_t byte = little_endian ? N - 1 - i : i;
            result = static_cast<T>((result << 8) | position_[byte]);
        }
        position_ += N;
        value = result;
        return true;
    }

    ByteRange range_;
    const std::uint8_t* position_;
};

}  // namespace seqconv
