#pragma once

// Songs that loop, one for each way a game's driver marks a loop, written
// as the games' files hold them: for the tests of loops played out and
// marked, the fuzz seeds and the bench. At 96 ticks a quarter note (192 for
// HMP and HMI, 60 for XMI) and the default tempo, the loops last a few
// seconds; notes sound across their ends, so that a jump must end them.

#include <string>
#include <vector>

#include "testkit/formats.h"

namespace testkit {

struct LoopingFile {
    std::string name;  // with the extension that names its format
    Bytes bytes;
    std::string dialect;               // of its main loop, as the library names it; "" for none
    std::uint32_t start = 0, end = 0;  // the main loop, in the song's ticks
    std::uint32_t repeats = 0;         // ticks a pass gains from the counted loops inside it
};

inline std::vector<LoopingFile> looping_files() {
    const auto marker = [](std::uint32_t time, const char* words) { return text_event(time, 0x06, words); };
    // A melody of 8 quarter notes, the last one held for two.
    const auto melody = [](std::uint32_t quarter, std::uint8_t channel) {
        Track track{program(0, channel, 0x49)};
        for (std::uint32_t i = 0; i < 8; ++i)
            track.push_back(
                note(i * quarter, channel, std::uint8_t(60 + (i * 5) % 12), 100, i == 7 ? quarter * 2 : quarter));
        return track;
    };
    const auto looped = [&](Track track, Event start, Event end) {
        track.push_back(start);
        track.push_back(end);
        sort_by_time(track);
        return track;
    };
    std::vector<LoopingFile> files;

    // Markers in a conductor track, a tempo change inside the loop.
    files.push_back(
        {"markers.mid",
         smf(1, 96,
             {smf_events({tempo(0, 500000), marker(96, "loopStart"), tempo(384, 400000), marker(720, "loopEnd")}),
              smf_events(with_note_offs(melody(96, 0)))}),
         "markers", 96, 720});
    files.push_back({"markers.rmi", rmid(files.back().bytes), "markers", 96, 720});

    // EMIDI: a song loop in every track, and inside it a loop of count 2 in
    // every track, which is the song's too.
    {
        const auto emidi_track = [&](std::uint32_t quarter, std::uint8_t channel) {
            Track track =
                looped(melody(quarter, channel), controller(96, channel, 118, 0), controller(720, channel, 119, 127));
            track.push_back(controller(192, channel, 116, 2));
            track.push_back(controller(288, channel, 117, 127));
            sort_by_time(track);
            return smf_events(with_note_offs(track));
        };
        files.push_back({"emidi_song.mid", smf(1, 96, {emidi_track(96, 0), emidi_track(48, 1)}), "emidi", 96, 720, 96});
    }
    // EMIDI track loops of other lengths: no loop of the song.
    files.push_back(
        {"emidi_tracks.mid",
         smf(1, 96,
             {smf_events({tempo(0, 500000)}),
              smf_events(with_note_offs(looped(melody(96, 0), controller(0, 0, 116, 0), controller(768, 0, 117, 127)))),
              smf_events(
                  with_note_offs(looped(melody(48, 1), controller(0, 1, 116, 0), controller(384, 1, 117, 127))))}),
         "", 0, 0});
    // An RPG maker's lone controller 111: from there to the end.
    {
        Track song = with_note_offs(melody(96, 2));
        song.push_back(controller(192, 2, 111, 0));
        sort_by_time(song);
        files.push_back({"rpg.mid", smf(0, 96, {smf_events(song)}), "rpg", 192, 864});
    }

    // XMI: FOR (for ever) around a FOR of count 3, durations on the notes.
    {
        Track song = melody(60, 0);
        for (const Event& e : {controller(60, 0, 116, 0), controller(120, 0, 116, 3), controller(180, 0, 117, 127),
                               controller(450, 0, 117, 127), tempo(240, 600000)})
            song.push_back(e);
        sort_by_time(song);
        files.push_back({"nested.xmi", xmi({XmiSong{xmi_events(song)}}), "for-next", 60, 450, 120});
    }
    // HMP: 110 and 111 in every track that plays.
    {
        const auto hmp_track = [&](std::uint32_t quarter, std::uint8_t channel) {
            return hmp_events(with_note_offs(
                looped(melody(quarter, channel), controller(192, channel, 110, 0), controller(1400, channel, 111, 0))));
        };
        files.push_back(
            {"descent.hmp", hmp({hmp_events({}), hmp_track(192, 0), hmp_track(96, 1)}), "descent", 192, 1400});
    }
    // HMI: FE 14 and FE 15 in a track, which the reader makes markers of.
    {
        Track track = melody(192, 0);
        track.push_back(raw(192, {0xFE, 0x14, 0x00, 0x00}));
        track.push_back(raw(1400, {0xFE, 0x15, 0, 0, 0, 0, 0, 0}));
        sort_by_time(track);
        files.push_back({"loop.hmi", hmi({hmi_track("Flute", hmi_events(track))}), "markers", 192, 1400});
    }
    return files;
}

}  // namespace testkit
