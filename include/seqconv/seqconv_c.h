/* seqconv for C and for other languages: the bytes of an input file in, the
 * bytes of a Standard MIDI File out, all in memory. No function here opens a
 * file, prints, keeps state between calls or lets an exception through; each
 * returns one of the status codes below and, when the caller gives room for
 * it, a message of one line. */
#ifndef SEQCONV_SEQCONV_C_H
#define SEQCONV_SEQCONV_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum seqconv_status {
    /* A format accepted the input and its reader read it without fault. */
    SEQCONV_OK = 0,
    /* A format accepted the input, but its reader stopped at a fault: the
     * output holds what was read before it (the program writes the same). */
    SEQCONV_DAMAGED = 1,
    /* No format accepted the input: the output is empty (the program writes
     * a file of zero bytes). */
    SEQCONV_UNRECOGNISED = 2,
    /* The input could not be converted: memory ran out, or the song cannot
     * be a Standard MIDI File (more than 65535 tracks, a track over 4 GiB).
     * There is no output; the message says why. */
    SEQCONV_ERROR = 3,
    /* A pointer that must not be null was null. There is no output. */
    SEQCONV_INVALID_ARGUMENT = 4
};

/* Bytes allocated by seqconv; data is null when size is 0. */
typedef struct seqconv_buffer {
    unsigned char* data;
    size_t size;
} seqconv_buffer;

/* Converts one input as the seqconv program does: recognised by its
 * contents and, for LDS modules, by the extension of `name` (which may be
 * null: no extension), promoted from form 0 to form 1 when `promote` is not
 * 0 (the program's "-1"), and written as a Standard MIDI File into `output`,
 * which the caller releases with seqconv_free. `input` may be null only
 * when `input_size` is 0. When `message` is not null, up to `message_size`
 * bytes of a NUL-terminated message are written there. Returns a
 * seqconv_status. */
int seqconv_convert(const unsigned char* input, size_t input_size, const char* name, int promote,
                    seqconv_buffer* output, char* message, size_t message_size);

/* Releases the bytes of a buffer filled by seqconv_convert and empties it.
 * A null pointer or an empty buffer is left alone. */
void seqconv_free(seqconv_buffer* output);

/* As seqconv_convert, but a song of several independent songs (an XMI file
 * of several songs, or any song of form 2) becomes one Standard MIDI File of
 * form 0 per song, each promoted on its own when `promote` is not 0. Any
 * other input gives one file, the same as seqconv_convert's. `*songs`
 * receives an array of `*song_count` buffers (null when the count is 0),
 * which the caller releases with seqconv_free_songs. */
int seqconv_convert_songs(const unsigned char* input, size_t input_size, const char* name, int promote,
                          seqconv_buffer** songs, size_t* song_count, char* message, size_t message_size);

/* Releases what seqconv_convert_songs returned. */
void seqconv_free_songs(seqconv_buffer* songs, size_t song_count);

/* What a reader's fault was. */
enum seqconv_fault_kind {
    SEQCONV_FAULT_NONE = 0,
    /* The data end, by the end of the input or of a part whose length the
     * file declares, inside something. */
    SEQCONV_FAULT_CUT_OFF = 1,
    /* A value the format does not allow. */
    SEQCONV_FAULT_MALFORMED = 2,
    /* Something the format allows but this reader does not read. */
    SEQCONV_FAULT_UNSUPPORTED = 3,
    /* More than the reader takes on. */
    SEQCONV_FAULT_LIMIT = 4
};

/* How a game's driver marked a loop. */
enum seqconv_loop_dialect {
    SEQCONV_LOOP_MARKERS = 0,  /* markers "loopStart" ... "loopEnd" */
    SEQCONV_LOOP_FOR_NEXT = 1, /* XMI: controller 116 (value: count) ... 117 */
    SEQCONV_LOOP_EMIDI = 2,    /* controllers 116 ... 117 (a track), 118 ... 119 (the song) */
    SEQCONV_LOOP_DESCENT = 3,  /* HMP: controllers 110 ... 111 */
    SEQCONV_LOOP_RPG = 4       /* a lone controller 111, to the end of the song */
};

typedef struct seqconv_loop {
    int dialect;              /* enum seqconv_loop_dialect */
    const char* dialect_name; /* "markers", "for-next", "emidi", "descent", "rpg" */
    uint32_t start, end;      /* in ticks; the jump back is taken at `end` */
    /* From the start of the file as it plays (a form 2 file's songs one
     * after another), to the millisecond; -1 when the timebase gives no time. */
    double start_seconds, end_seconds;
    uint32_t count; /* how many times it plays in all; 0 for ever */
    int32_t track;  /* the track it loops; -1 for the whole song */
} seqconv_loop;

/* A song as the Standard MIDI File written from it plays. */
typedef struct seqconv_facts {
    uint32_t form;     /* 0, 1 or 2 */
    uint32_t tracks;
    uint32_t songs;    /* a form 2 file's tracks are songs of their own */
    uint32_t timebase; /* the division word: ticks a quarter note, or SMPTE with the top bit set */
    double seconds;    /* the playing time, to the millisecond; -1 when the timebase gives no time */
    uint64_t notes;    /* note ons of velocity above 0 */
    const char* synth; /* the first reset message's synthesiser: "GM", "GS", "XG", "MT-32"; "" for none */
    int main_loop;     /* not 0: loops[0] is the song's main loop, the one a game plays for ever */
    size_t loop_count;
    seqconv_loop* loops; /* every loop found in every dialect; null when there is none */
} seqconv_facts;

/* How the reading of one input ended, and what it holds. Every text is
 * NUL-terminated UTF-8; the strings and arrays are the report's, released
 * with seqconv_free_report. */
typedef struct seqconv_report {
    int status;            /* SEQCONV_OK, SEQCONV_DAMAGED or SEQCONV_UNRECOGNISED */
    const char* format;    /* the format that accepted the input ("XMI"), or null */
    /* For an unrecognised input that begins as a format's file does but
     * that the format refuses (a RIFF RMID file cut short): that format's
     * name; null otherwise. The fault then says why it was refused. */
    const char* resembles;
    int fault_kind;              /* enum seqconv_fault_kind */
    const char* fault_kind_name; /* "cut off", "malformed", "unsupported", "limit"; "" for none */
    size_t fault_offset;         /* the byte where reading stopped, from the start of the input */
    char* fault_reason;          /* in a few words: "track 4: F7 packet"; "" for none */
    /* The outcome worded for people as every front end words it: "" for a
     * complete input, "damaged at byte 40 (cut off): ...", or why an
     * input was not recognised. */
    char* fault_words;
    seqconv_facts facts; /* of the song read; all zero for an unrecognised input */
    /* The facts of each Standard MIDI File written, in the order of the
     * outputs (with `split`, one per song). */
    size_t song_count;
    seqconv_facts* songs;
    /* With `loops` or `mark_loops`: how many songs had their loops played
     * out or marked; and when a song's play-out would pass the bounds (4
     * million events) and its loops were left as read, why
     * (SEQCONV_FAULT_LIMIT and a reason). */
    size_t looped;
    int loop_fault_kind;
    char* loop_fault_reason; /* "" for none */
    /* After SEQCONV_ERROR: why, the message seqconv_convert gives. */
    char error[256];
} seqconv_report;

/* How to convert: all 0 is what the program does without "-1". */
typedef struct seqconv_options {
    int promote; /* not 0: form 0 songs promoted to form 1, the program's "-1" */
    int split;   /* not 0: a form 2 song becomes one form 0 file per song */
    /* Not 0: each song's main loop played `loops` times in all, then played
     * on and faded out over `fade_milliseconds` (0: no fade); no loop mark
     * of any dialect stays, so the file plays the same in every player. */
    int loops;
    unsigned fade_milliseconds;
    /* Not 0 (and `loops` 0): each song ends at its main loop's end, the loop
     * marked by "loopStart" and "loopEnd" markers and controller 111. */
    int mark_loops;
    int whole; /* with `loops` or `mark_loops`: a song without a loop loops whole */
    int form0; /* not 0: the tracks merged into one, form 0 (a form 2 song split first); not with `promote` */
} seqconv_options;

/* Converts one input as seqconv_convert (or, with `split`,
 * seqconv_convert_songs) does and fills `report`, which the caller
 * releases with seqconv_free_report. `options` may be null: all 0. When
 * `outputs` is null nothing is written out and only the report is made
 * (the facts of each song are still those of the files that would be
 * written); otherwise `*outputs` receives `*output_count` buffers, as
 * seqconv_convert_songs gives them, released with seqconv_free_songs.
 * Returns a seqconv_status; after SEQCONV_ERROR the report is empty but
 * for its `error`, after SEQCONV_INVALID_ARGUMENT (a null report or count,
 * or `promote` with `form0`) it is all zero. */
int seqconv_convert_report(const unsigned char* input, size_t input_size, const char* name,
                           const seqconv_options* options, seqconv_buffer** outputs, size_t* output_count,
                           seqconv_report* report);

/* Releases what a report holds and sets it all to zero. A null pointer is
 * left alone. */
void seqconv_free_report(seqconv_report* report);

/* One channel message of a Standard MIDI File, timed as the file plays. */
typedef struct seqconv_song_event {
    double seconds;    /* from the start of the file (a form 2 file's songs one after another) */
    uint32_t tick;     /* in the ticks of its track */
    uint16_t track;
    uint8_t status;    /* 0x80 + 16 x kind + channel: note off 8n ... pitch wheel En */
    uint8_t data1;
    uint8_t data2;     /* 0 for program change and channel pressure */
} seqconv_song_event;

/* The channel messages of a Standard MIDI File (one seqconv wrote, say),
 * read by the library's own reader, in time order (at one time by track,
 * then as in the track), with the time it plays to its end in `*seconds`
 * (-1 when the division gives no time). `*events` receives `*event_count`
 * events, released with seqconv_free_song_events. Returns SEQCONV_OK,
 * SEQCONV_DAMAGED (the events read before the damage), SEQCONV_UNRECOGNISED
 * (not a Standard MIDI File: no events), SEQCONV_ERROR or
 * SEQCONV_INVALID_ARGUMENT. */
int seqconv_song_events(const unsigned char* smf, size_t smf_size, seqconv_song_event** events, size_t* event_count,
                        double* seconds);

void seqconv_free_song_events(seqconv_song_event* events);

/* The short name of the input's format ("SMF", "RMID", "HMP", "HMI", "XMI",
 * "MUS", "MIDS", "LDS" or "GMF"), or null when no format accepts it.
 * Recognition reads only the input's first bytes. */
const char* seqconv_detect(const unsigned char* input, size_t input_size, const char* name);

/* The library's version, as "MAJOR.MINOR.PATCH". */
const char* seqconv_version(void);

#ifdef __cplusplus
}
#endif

#endif
