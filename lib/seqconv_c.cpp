// The C interface: the C++ conversion behind functions that let nothing
// through but a status and a message. Output bytes are allocated with
// malloc, so that a caller in another language (WebAssembly among them) can
// release them with the C runtime's free as well as with seqconv_free.

#include "seqconv/seqconv_c.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "seqconv/seqconv.h"

namespace {

using seqconv::ReadStatus;

// Writes a message of at most message_size bytes, NUL included: the
// format's name, then `text`. Allocates nothing, so it serves when memory ran
// out too.
void put_message(char* message, std::size_t message_size, const char* format_name, const char* text) {
    if (message == nullptr || message_size == 0) return;
    std::snprintf(message, message_size, "%s%s%s", format_name, *format_name != '\0' ? " " : "", text);
}

int status_of(ReadStatus status) {
    if (status == ReadStatus::complete) return SEQCONV_OK;
    return status == ReadStatus::damaged ? SEQCONV_DAMAGED : SEQCONV_UNRECOGNISED;
}

// "XMI converted", "MUS damaged at byte 40 (cut off): event cut off; ...",
// "not a recognised format". `nothing_read` when the output is empty.
template <typename Result>
void put_outcome(char* message, std::size_t message_size, const Result& result, bool nothing_read) {
    if (!result.format) return put_message(message, message_size, "", "not a recognised format");
    const char* name = seqconv::format_name(*result.format).data();  // a literal: it ends in a NUL
    if (result.status == ReadStatus::complete) return put_message(message, message_size, name, "converted");
    const char* kept = nothing_read ? "nothing was read before it" : "the output holds what was read before it";
    const seqconv::Fault& fault = result.fault;
    if (!fault) {
        put_message(message, message_size, name,
                    nothing_read ? "damaged: nothing was read before the fault"
                                 : "damaged: the output holds what was read before the fault");
        return;
    }
    if (message == nullptr || message_size == 0) return;
    std::snprintf(message, message_size, "%s damaged at byte %zu (%s): %s; %s", name, fault.offset,
                  seqconv::fault_kind_name(fault.kind).data(), fault.reason.c_str(), kept);
}

// A copy of the bytes in memory from malloc.
seqconv_buffer to_buffer(const std::vector<std::uint8_t>& bytes) {
    seqconv_buffer buffer{nullptr, 0};
    if (bytes.empty()) return buffer;
    buffer.data = static_cast<unsigned char*>(std::malloc(bytes.size()));
    if (buffer.data == nullptr) throw std::bad_alloc();
    std::memcpy(buffer.data, bytes.data(), bytes.size());
    buffer.size = bytes.size();
    return buffer;
}

std::span<const std::uint8_t> input_span(const unsigned char* input, std::size_t input_size) {
    return {reinterpret_cast<const std::uint8_t*>(input), input_size};
}

std::string_view name_of(const char* name) { return name != nullptr ? std::string_view(name) : std::string_view(); }

}  // namespace

extern "C" {

int seqconv_convert(const unsigned char* input, size_t input_size, const char* name, int promote,
                    seqconv_buffer* output, char* message, size_t message_size) {
    if (output == nullptr || (input == nullptr && input_size != 0)) {
        put_message(message, message_size, "", "input or output missing");
        return SEQCONV_INVALID_ARGUMENT;
    }
    *output = seqconv_buffer{nullptr, 0};
    try {
        const seqconv::Conversion result = seqconv::convert(input_span(input, input_size), name_of(name), promote != 0);
        *output = to_buffer(result.smf);
        put_outcome(message, message_size, result, result.smf.empty());
        return status_of(result.status);
    } catch (const std::exception& error) {
        put_message(message, message_size, "", error.what());
        return SEQCONV_ERROR;
    }
}

void seqconv_free(seqconv_buffer* output) {
    if (output == nullptr) return;
    std::free(output->data);
    *output = seqconv_buffer{nullptr, 0};
}

int seqconv_convert_songs(const unsigned char* input, size_t input_size, const char* name, int promote,
                          seqconv_buffer** songs, size_t* song_count, char* message, size_t message_size) {
    if (songs == nullptr || song_count == nullptr || (input == nullptr && input_size != 0)) {
        put_message(message, message_size, "", "input or output missing");
        return SEQCONV_INVALID_ARGUMENT;
    }
    *songs = nullptr;
    *song_count = 0;
    seqconv_buffer* buffers = nullptr;
    std::size_t made = 0;
    try {
        const seqconv::SongsConversion result =
            seqconv::convert_songs(input_span(input, input_size), name_of(name), promote != 0);
        if (!result.songs.empty()) {
            buffers = static_cast<seqconv_buffer*>(std::calloc(result.songs.size(), sizeof(seqconv_buffer)));
            if (buffers == nullptr) throw std::bad_alloc();
            for (; made < result.songs.size(); ++made) buffers[made] = to_buffer(result.songs[made]);
        }
        *songs = buffers;
        *song_count = made;
        put_outcome(message, message_size, result, result.songs.empty());
        return status_of(result.status);
    } catch (const std::exception& error) {
        seqconv_free_songs(buffers, made);
        put_message(message, message_size, "", error.what());
        return SEQCONV_ERROR;
    }
}

void seqconv_free_songs(seqconv_buffer* songs, size_t song_count) {
    if (songs == nullptr) return;
    for (std::size_t i = 0; i < song_count; ++i) std::free(songs[i].data);
    std::free(songs);
}

const char* seqconv_detect(const unsigned char* input, size_t input_size, const char* name) {
    if (input == nullptr && input_size != 0) return nullptr;
    const seqconv::ByteRange range(reinterpret_cast<const std::uint8_t*>(input), input_size);
    const auto format = seqconv::detect_format(range, seqconv::extension_of(name_of(name)));
    return format ? seqconv::format_name(*format).data() : nullptr;  // a literal: it ends in a NUL
}

const char* seqconv_version(void) { return SEQCONV_VERSION; }

}  // extern "C"
