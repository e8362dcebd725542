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
#include <optional>
#include <string>
#include <string_view>
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
    if (!result.fault) {
        put_message(message, message_size, name,
                    nothing_read ? "damaged: nothing was read before the fault"
                                 : "damaged: the output holds what was read before the fault");
        return;
    }
    if (message == nullptr || message_size == 0) return;
    std::snprintf(message, message_size, "%s %s; %s", name, seqconv::fault_words(result.status, result.fault).c_str(),
                  kept);
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

// A copy of `text` from malloc, NUL-terminated.
char* to_c_string(std::string_view text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

double seconds_of(const std::optional<std::uint64_t>& milliseconds) {
    return milliseconds ? static_cast<double>(*milliseconds) / 1000.0 : -1.0;
}

// The facts with their loops in an array from malloc, which
// seqconv_free_report releases.
seqconv_facts to_c_facts(const seqconv::SongFacts& facts) {
    seqconv_facts out{};
    out.form = facts.form;
    out.tracks = static_cast<std::uint32_t>(facts.tracks);
    out.songs = static_cast<std::uint32_t>(facts.songs);
    out.timebase = facts.timebase;
    out.seconds = seconds_of(facts.milliseconds);
    out.notes = facts.notes;
    out.synth = seqconv::synth_name(facts.synth).data();  // literals: they end in a NUL
    out.main_loop = facts.main_loop ? 1 : 0;
    if (facts.loops.empty()) return out;
    out.loops = static_cast<seqconv_loop*>(std::calloc(facts.loops.size(), sizeof(seqconv_loop)));
    if (out.loops == nullptr) throw std::bad_alloc();
    out.loop_count = facts.loops.size();
    for (std::size_t i = 0; i < facts.loops.size(); ++i) {
        const seqconv::SongLoop& loop = facts.loops[i];
        out.loops[i] = {static_cast<int>(loop.dialect),
                        seqconv::loop_dialect_name(loop.dialect).data(),
                        loop.start,
                        loop.end,
                        seconds_of(loop.start_milliseconds),
                        seconds_of(loop.end_milliseconds),
                        loop.count,
                        loop.track ? static_cast<std::int32_t>(*loop.track) : -1};
    }
    return out;
}

const char* format_name_or_null(const std::optional<seqconv::InputFormat>& format) {
    return format ? seqconv::format_name(*format).data() : nullptr;  // a literal: it ends in a NUL
}

// Fills `report` from the library's; on a throw what was made so far is
// left in it for seqconv_free_report.
void fill_report(const seqconv::Report& from, seqconv_report& report) {
    report.status = status_of(from.status);
    report.format = format_name_or_null(from.format);
    report.resembles = format_name_or_null(from.resembles);
    report.fault_kind = static_cast<int>(from.fault.kind);
    report.fault_kind_name = seqconv::fault_kind_name(from.fault.kind).data();
    report.fault_offset = from.fault ? from.fault.offset : 0;
    report.fault_reason = to_c_string(from.fault ? from.fault.reason : std::string());
    report.fault_words = to_c_string(seqconv::fault_words(from.status, from.fault));
    report.looped = from.looped;
    report.loop_fault_kind = static_cast<int>(from.loop_fault.kind);
    report.loop_fault_reason = to_c_string(from.loop_fault ? from.loop_fault.reason : std::string());
    report.facts = to_c_facts(from.facts);
    if (from.songs.empty()) return;
    report.songs = static_cast<seqconv_facts*>(std::calloc(from.songs.size(), sizeof(seqconv_facts)));
    if (report.songs == nullptr) throw std::bad_alloc();
    for (; report.song_count < from.songs.size(); ++report.song_count)
        report.songs[report.song_count] = to_c_facts(from.songs[report.song_count]);
}

void free_facts(seqconv_facts& facts) { std::free(facts.loops); }

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

int seqconv_convert_report(const unsigned char* input, size_t input_size, const char* name,
                           const seqconv_options* options, seqconv_buffer** outputs, size_t* output_count,
                           seqconv_report* report) {
    if (report == nullptr) return SEQCONV_INVALID_ARGUMENT;
    *report = seqconv_report{};
    if ((outputs == nullptr) != (output_count == nullptr) || (input == nullptr && input_size != 0) ||
        (options != nullptr && options->promote != 0 && options->form0 != 0))
        return SEQCONV_INVALID_ARGUMENT;
    if (outputs != nullptr) {
        *outputs = nullptr;
        *output_count = 0;
    }
    seqconv_buffer* buffers = nullptr;
    std::size_t made = 0;
    try {
        seqconv::ConversionOptions settings;
        settings.promote = options != nullptr && options->promote != 0;
        settings.split = options != nullptr && options->split != 0;
        settings.write = outputs != nullptr;
        if (options != nullptr) {
            settings.loops = options->loops > 0         ? seqconv::LoopWriting::play_out
                             : options->mark_loops != 0 ? seqconv::LoopWriting::mark
                                                        : seqconv::LoopWriting::as_read;
            settings.play_out.passes = options->loops > 0 ? static_cast<std::uint32_t>(options->loops) : 1;
            settings.play_out.fade_milliseconds = options->fade_milliseconds;
            settings.play_out.whole = options->whole != 0;
            settings.merge = options->form0 != 0;
        }
        const seqconv::Report result = seqconv::convert_report(input_span(input, input_size), name_of(name), settings);
        fill_report(result, *report);
        if (outputs != nullptr && !result.files.empty()) {
            buffers = static_cast<seqconv_buffer*>(std::calloc(result.files.size(), sizeof(seqconv_buffer)));
            if (buffers == nullptr) throw std::bad_alloc();
            for (; made < result.files.size(); ++made) buffers[made] = to_buffer(result.files[made]);
            *outputs = buffers;
            *output_count = made;
        }
        return report->status;
    } catch (const std::exception& error) {
        seqconv_free_songs(buffers, made);
        if (outputs != nullptr) {
            *outputs = nullptr;
            *output_count = 0;
        }
        seqconv_free_report(report);
        put_message(report->error, sizeof report->error, "", error.what());
        return SEQCONV_ERROR;
    }
}

void seqconv_free_report(seqconv_report* report) {
    if (report == nullptr) return;
    std::free(report->fault_reason);
    std::free(report->fault_words);
    std::free(report->loop_fault_reason);
    free_facts(report->facts);
    for (std::size_t i = 0; i < report->song_count; ++i) free_facts(report->songs[i]);
    std::free(report->songs);
    *report = seqconv_report{};
}

int seqconv_song_events(const unsigned char* smf, size_t smf_size, seqconv_song_event** events, size_t* event_count,
                        double* seconds) {
    if (events == nullptr || event_count == nullptr || seconds == nullptr || (smf == nullptr && smf_size != 0))
        return SEQCONV_INVALID_ARGUMENT;
    *events = nullptr;
    *event_count = 0;
    *seconds = -1;
    try {
        const seqconv::TimedSong song = seqconv::timed_events(input_span(smf, smf_size));
        if (!song.events.empty()) {
            *events = static_cast<seqconv_song_event*>(std::calloc(song.events.size(), sizeof(seqconv_song_event)));
            if (*events == nullptr) throw std::bad_alloc();
            for (std::size_t i = 0; i < song.events.size(); ++i) {
                const seqconv::TimedEvent& event = song.events[i];
                (*events)[i] = {event.seconds, event.tick, event.track, event.status, event.data1, event.data2};
            }
            *event_count = song.events.size();
        }
        *seconds = song.seconds.value_or(-1.0);
        return status_of(song.status);
    } catch (const std::exception&) {
        seqconv_free_song_events(*events);
        *events = nullptr;
        *event_count = 0;
        return SEQCONV_ERROR;
    }
}

void seqconv_free_song_events(seqconv_song_event* events) { std::free(events); }

const char* seqconv_detect(const unsigned char* input, size_t input_size, const char* name) {
    if (input == nullptr && input_size != 0) return nullptr;
    const auto format = seqconv::detect_format(input_span(input, input_size), name_of(name));
    return format ? seqconv::format_name(*format).data() : nullptr;  // a literal: it ends in a NUL
}

const char* seqconv_version(void) { return SEQCONV_VERSION; }

}  // extern "C"
