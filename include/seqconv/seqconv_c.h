/* seqconv for C and for other languages: the bytes of an input file in, the
 * bytes of a Standard MIDI File out, all in memory. No function here opens a
 * file, prints, keeps state between calls or lets an exception through; each
 * returns one of the status codes below and, when the caller gives room for
 * it, a message of one line. */
#ifndef SEQCONV_SEQCONV_C_H
#define SEQCONV_SEQCONV_C_H

#include <stddef.h>

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
