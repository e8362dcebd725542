// The core's C interface (include/seqconv/seqconv_c.h) called in the
// WebAssembly module from JavaScript: the bytes of an input in, the bytes of
// Standard MIDI Files and the library's account of them out; and the timed
// channel messages of a Standard MIDI File, read back by the library, for
// the piano roll and the player. The page, its worker and seqconv.mjs share
// it, with the interface's codes below: nothing else copies them. It is a
// classic script, so that it can be joined into the worker's one script and
// loaded by the page, and Node loads it with require.

'use strict';

// enum seqconv_status
const SEQCONV_OK = 0;
const SEQCONV_DAMAGED = 1;
const SEQCONV_UNRECOGNISED = 2;
const SEQCONV_ERROR = 3;
const SEQCONV_INVALID_ARGUMENT = 4;

// enum seqconv_fault_kind
const SEQCONV_FAULT_NONE = 0;
const SEQCONV_FAULT_CUT_OFF = 1;
const SEQCONV_FAULT_MALFORMED = 2;
const SEQCONV_FAULT_UNSUPPORTED = 3;
const SEQCONV_FAULT_LIMIT = 4;

// enum seqconv_loop_dialect
const SEQCONV_LOOP_MARKERS = 0;
const SEQCONV_LOOP_FOR_NEXT = 1;
const SEQCONV_LOOP_EMIDI = 2;
const SEQCONV_LOOP_DESCENT = 3;
const SEQCONV_LOOP_RPG = 4;

// The room in a report for the reason of a failed conversion.
const SEQCONV_ERROR_SIZE = 256;

// The interface's structs as the module lays them out. WebAssembly is
// wasm32: int and pointers and size_t are 4 bytes, double and uint64_t 8
// bytes aligned to 8; a struct is aligned as its widest member and padded
// to a multiple of that. The offsets are worked out here, once, from the C
// declarations:
//
//   typedef struct seqconv_loop {
//       int dialect; const char* dialect_name; uint32_t start, end;
//       double start_seconds, end_seconds; uint32_t count; int32_t track;
//   } seqconv_loop;
//   typedef struct seqconv_facts {
//       uint32_t form, tracks, songs, timebase; double seconds; uint64_t notes;
//       const char* synth; int main_loop; size_t loop_count; seqconv_loop* loops;
//   } seqconv_facts;
//   typedef struct seqconv_report {
//       int status; const char* format; const char* resembles; int fault_kind;
//       const char* fault_kind_name; size_t fault_offset; char* fault_reason;
//       char* fault_words; seqconv_facts facts; size_t song_count; seqconv_facts* songs;
//       size_t looped; int loop_fault_kind; char* loop_fault_reason; char error[256];
//   } seqconv_report;
//   typedef struct seqconv_options {
//       int promote; int split; int loops; unsigned fade_milliseconds; int mark_loops; int whole; int form0;
//   } seqconv_options;
//   typedef struct seqconv_song_event {
//       double seconds; uint32_t tick; uint16_t track; uint8_t status, data1, data2;
//   } seqconv_song_event;
const SEQCONV_LAYOUT = (() => {
    const scalars = {int: 4, u8: 1, u16: 2, u32: 4, i32: 4, pointer: 4, size: 4, f64: 8, u64: 8};
    // An array of chars lies in the struct itself, aligned as one char.
    const chars = (count) => ({size: count, align: 1});
    const struct = (...fields) => {
        const layout = {};
        let offset = 0;
        let align = 1;
        for (const [name, type] of fields) {
            const size = typeof type === 'string' ? scalars[type] : type.size;
            const alignment = typeof type === 'string' ? scalars[type] : type.align;
            offset = Math.ceil(offset / alignment) * alignment;
            layout[name] = offset;
            offset += size;
            align = Math.max(align, alignment);
        }
        layout.align = align;
        layout.size = Math.ceil(offset / align) * align;
        return Object.freeze(layout);
    };
    const loop = struct(
        ['dialect', 'int'], ['dialectName', 'pointer'], ['start', 'u32'], ['end', 'u32'], ['startSeconds', 'f64'],
        ['endSeconds', 'f64'], ['count', 'u32'], ['track', 'i32']);
    const facts = struct(
        ['form', 'u32'], ['tracks', 'u32'], ['songs', 'u32'], ['timebase', 'u32'], ['seconds', 'f64'], ['notes', 'u64'],
        ['synth', 'pointer'], ['mainLoop', 'int'], ['loopCount', 'size'], ['loops', 'pointer']);
    const report = struct(
        ['status', 'int'], ['format', 'pointer'], ['resembles', 'pointer'], ['faultKind', 'int'],
        ['faultKindName', 'pointer'], ['faultOffset', 'size'], ['faultReason', 'pointer'], ['faultWords', 'pointer'],
        ['facts', facts], ['songCount', 'size'], ['songs', 'pointer'], ['looped', 'size'], ['loopFaultKind', 'int'],
        ['loopFaultReason', 'pointer'], ['error', chars(SEQCONV_ERROR_SIZE)]);
    const options = struct(
        ['promote', 'int'], ['split', 'int'], ['loops', 'int'], ['fadeMilliseconds', 'u32'], ['markLoops', 'int'],
        ['whole', 'int'], ['form0', 'int']);
    const event = struct(
        ['seconds', 'f64'], ['tick', 'u32'], ['track', 'u16'], ['status', 'u8'], ['data1', 'u8'], ['data2', 'u8']);
    return Object.freeze({loop, facts, report, options, event});
})();

// Converts `input` (a Uint8Array) as the program does for a file called
// `name`, whose extension recognises LDS modules, with `options` (each may
// be left out; all left out is the program without "-1"):
//   promote           form 0 songs promoted to form 1, the program's "-1";
//   split             a song of several independent songs gives one file
//                     per song;
//   loops             not 0: each song's main loop played this many times
//                     in all, then faded out over fadeMilliseconds, no loop
//                     mark left;
//   markLoops         (loops 0) each song ends at its main loop's end,
//                     marked for players;
//   whole             with those: a song without a loop loops whole;
//   form0             the tracks merged into one (not with promote).
// `wasm` is what createSeqconv() resolved to. Returns
//   { status, format, resembles, fault, facts, songs, outputs, looped,
//     loopFault }:
// `fault` null or { kind, kindName, offset, reason, words }, `words` worded
// by the library ("damaged at byte 40 (cut off): track 2: event cut off");
// `facts` those of the song read (null when it was not recognised); `outputs`
// the Standard MIDI Files written, Uint8Arrays of their own, and `songs`
// the facts of each (none when nothing was written); `looped` how many songs
// had their loops played out or marked, `loopFault` null or { kind, reason }
// when a song's loops were left as read because played out they would pass
// the library's bounds. After SEQCONV_ERROR there is nothing but `message`,
// the library's reason, worded as the program prints it.
function seqconvConvert(wasm, input, name, options = {}) {
    const layout = SEQCONV_LAYOUT;
    const nameBytes = new TextEncoder().encode(name);
    // Pointers are unsigned 32-bit numbers; `>>> 0` keeps them so.
    const inputPointer = wasm._malloc(Math.max(input.length, 1)) >>> 0;
    const namePointer = wasm._malloc(nameBytes.length + 1) >>> 0;
    const optionsPointer = wasm._malloc(layout.options.size) >>> 0;
    // seqconv_buffer* and size_t: the outputs and their count.
    const outputsPointer = wasm._malloc(8) >>> 0;
    const reportPointer = wasm._malloc(layout.report.size) >>> 0;
    const pointers = [inputPointer, namePointer, optionsPointer, outputsPointer, reportPointer];
    try {
        // The program fails the same way when a file does not fit in memory.
        if (pointers.includes(0)) return seqconvFailure('std::bad_alloc');
        wasm.HEAPU8.set(input, inputPointer);
        wasm.HEAPU8.set(nameBytes, namePointer);
        wasm.HEAPU8[namePointer + nameBytes.length] = 0;
        const setup = new DataView(wasm.HEAPU8.buffer);
        const flag = (value) => (value ? 1 : 0);
        const at = layout.options;
        setup.setInt32(optionsPointer + at.promote, flag(options.promote), true);
        setup.setInt32(optionsPointer + at.split, flag(options.split), true);
        setup.setInt32(optionsPointer + at.loops, options.loops ?? 0, true);
        setup.setUint32(optionsPointer + at.fadeMilliseconds, options.fadeMilliseconds ?? 0, true);
        setup.setInt32(optionsPointer + at.markLoops, flag(options.markLoops), true);
        setup.setInt32(optionsPointer + at.whole, flag(options.whole), true);
        setup.setInt32(optionsPointer + at.form0, flag(options.form0), true);

        const status = wasm._seqconv_convert_report(
            inputPointer, input.length, namePointer, optionsPointer, outputsPointer, outputsPointer + 4, reportPointer);
        if (status !== SEQCONV_OK && status !== SEQCONV_DAMAGED && status !== SEQCONV_UNRECOGNISED) {
            // The report is empty but for the reason, the one the program
            // prints for the same input. It is all zero when the options
            // were refused: the pointers here are never null.
            return seqconvFailure(status === SEQCONV_INVALID_ARGUMENT
                                      ? 'promote and form0 exclude each other'
                                      : seqconvString(wasm, reportPointer + layout.report.error));
        }
        // The memory may have grown during the call: views are taken after it.
        const memory = new DataView(wasm.HEAPU8.buffer);
        const outputs = [];
        const files = memory.getUint32(outputsPointer, true);
        const fileCount = memory.getUint32(outputsPointer + 4, true);
        for (let i = 0; i < fileCount; ++i) outputs.push(seqconvBytes(wasm, memory, files + 8 * i));
        wasm._seqconv_free_songs(files, fileCount);

        const report = seqconvReadReport(wasm, memory, reportPointer);
        wasm._seqconv_free_report(reportPointer);
        // A file of zero bytes (a song with no track) is none to offer.
        const kept = outputs.map((bytes, i) => i).filter((i) => outputs[i].length > 0);
        return {
            status: report.status,
            format: report.format,
            resembles: report.resembles,
            fault: report.fault,
            facts: report.status === SEQCONV_UNRECOGNISED ? null : report.facts,
            songs: kept.map((i) => report.songs[i]),
            outputs: kept.map((i) => outputs[i]),
            looped: report.looped,
            loopFault: report.loopFault,
        };
    } finally {
        for (const pointer of pointers) wasm._free(pointer);
    }
}

function seqconvFailure(message) {
    return {status: SEQCONV_ERROR, format: null, resembles: null, fault: null, facts: null, songs: [], outputs: [],
            looped: 0, loopFault: null, message};
}

// The seqconv_report at `pointer`, read out of `memory` (a DataView of the
// module's memory), with the songs' facts of `song_count` entries and, when
// a song's loops were left as read, why.
function seqconvReadReport(wasm, memory, pointer) {
    const at = SEQCONV_LAYOUT.report;
    const text = (offset) => seqconvString(wasm, memory.getUint32(pointer + offset, true));
    const faultKind = memory.getInt32(pointer + at.faultKind, true);
    const loopFaultKind = memory.getInt32(pointer + at.loopFaultKind, true);
    const songs = [];
    const songsPointer = memory.getUint32(pointer + at.songs, true);
    const songCount = memory.getUint32(pointer + at.songCount, true);
    for (let i = 0; i < songCount; ++i)
        songs.push(seqconvReadFacts(wasm, memory, songsPointer + i * SEQCONV_LAYOUT.facts.size));
    return {
        status: memory.getInt32(pointer + at.status, true),
        format: text(at.format),
        resembles: text(at.resembles),
        fault: faultKind === SEQCONV_FAULT_NONE ? null : {
            kind: faultKind,
            kindName: text(at.faultKindName),
            offset: memory.getUint32(pointer + at.faultOffset, true),
            reason: text(at.faultReason),
            words: text(at.faultWords),
        },
        facts: seqconvReadFacts(wasm, memory, pointer + at.facts),
        songs,
        looped: memory.getUint32(pointer + at.looped, true),
        loopFault: loopFaultKind === SEQCONV_FAULT_NONE ? null : {
            kind: loopFaultKind,
            reason: text(at.loopFaultReason),
        },
    };
}

// A seqconv_facts: { form, tracks, songs, timebase, seconds, notes, synth,
// mainLoop, loops }, `seconds` null when the timebase gives no time, each
// loop { dialect, dialectName, start, end, startSeconds, endSeconds, count,
// track }, `track` null for the whole song.
function seqconvReadFacts(wasm, memory, pointer) {
    const at = SEQCONV_LAYOUT.facts;
    const loop = SEQCONV_LAYOUT.loop;
    const seconds = (value) => (value < 0 ? null : value);
    const loops = [];
    const loopsPointer = memory.getUint32(pointer + at.loops, true);
    const loopCount = memory.getUint32(pointer + at.loopCount, true);
    for (let i = 0; i < loopCount; ++i) {
        const base = loopsPointer + i * loop.size;
        const track = memory.getInt32(base + loop.track, true);
        loops.push({
            dialect: memory.getInt32(base + loop.dialect, true),
            dialectName: seqconvString(wasm, memory.getUint32(base + loop.dialectName, true)),
            start: memory.getUint32(base + loop.start, true),
            end: memory.getUint32(base + loop.end, true),
            startSeconds: seconds(memory.getFloat64(base + loop.startSeconds, true)),
            endSeconds: seconds(memory.getFloat64(base + loop.endSeconds, true)),
            count: memory.getUint32(base + loop.count, true),
            track: track < 0 ? null : track,
        });
    }
    return {
        form: memory.getUint32(pointer + at.form, true),
        tracks: memory.getUint32(pointer + at.tracks, true),
        songs: memory.getUint32(pointer + at.songs, true),
        timebase: memory.getUint32(pointer + at.timebase, true),
        seconds: seconds(memory.getFloat64(pointer + at.seconds, true)),
        // Counts past 2^53 lose their last digits as a Number.
        notes: Number(memory.getBigUint64(pointer + at.notes, true)),
        synth: seqconvString(wasm, memory.getUint32(pointer + at.synth, true)),
        mainLoop: memory.getInt32(pointer + at.mainLoop, true) !== 0,
        loops,
    };
}

// The channel messages of the Standard MIDI File in `smf` (a Uint8Array),
// timed by the library as the file plays, in time order, as parallel
// arrays: { read, end, seconds (Float64Array), track (Uint16Array), status,
// data1, data2 (Uint8Arrays) }. `read` is the interface's status of the
// reading, `end` the time the file plays to its end (null when its
// division gives no time); `status` is 0x80 + 16 x kind + channel.
function seqconvSongEvents(wasm, smf) {
    const inputPointer = wasm._malloc(Math.max(smf.length, 1)) >>> 0;
    // seqconv_song_event*, size_t, then the double at 8, aligned.
    const resultPointer = wasm._malloc(16) >>> 0;
    const empty = (read) => ({
        read, end: null, seconds: new Float64Array(0), track: new Uint16Array(0), status: new Uint8Array(0),
        data1: new Uint8Array(0), data2: new Uint8Array(0)
    });
    try {
        if (!inputPointer || !resultPointer) return empty(SEQCONV_ERROR);
        wasm.HEAPU8.set(smf, inputPointer);
        const read = wasm._seqconv_song_events(inputPointer, smf.length, resultPointer, resultPointer + 4,
                                               resultPointer + 8);
        if (read === SEQCONV_ERROR || read === SEQCONV_INVALID_ARGUMENT) return empty(read);
        const memory = new DataView(wasm.HEAPU8.buffer);
        const events = memory.getUint32(resultPointer, true);
        const count = memory.getUint32(resultPointer + 4, true);
        const end = memory.getFloat64(resultPointer + 8, true);
        const at = SEQCONV_LAYOUT.event;
        const timed = {
            read, end: end < 0 ? null : end, seconds: new Float64Array(count), track: new Uint16Array(count),
            status: new Uint8Array(count), data1: new Uint8Array(count), data2: new Uint8Array(count)
        };
        for (let i = 0; i < count; ++i) {
            const base = events + i * at.size;
            timed.seconds[i] = memory.getFloat64(base + at.seconds, true);
            timed.track[i] = memory.getUint16(base + at.track, true);
            timed.status[i] = memory.getUint8(base + at.status);
            timed.data1[i] = memory.getUint8(base + at.data1);
            timed.data2[i] = memory.getUint8(base + at.data2);
        }
        wasm._seqconv_free_song_events(events);
        return timed;
    } finally {
        wasm._free(inputPointer);
        wasm._free(resultPointer);
    }
}

// The bytes of the seqconv_buffer at `pointer`, copied out of the module's
// memory.
function seqconvBytes(wasm, memory, pointer) {
    const data = memory.getUint32(pointer, true);
    const size = memory.getUint32(pointer + 4, true);
    return wasm.HEAPU8.slice(data, data + size);
}

// The NUL-terminated UTF-8 text at `pointer`; null for a null pointer.
function seqconvString(wasm, pointer) {
    if (!pointer) return null;
    const bytes = wasm.HEAPU8;
    let end = pointer;
    while (bytes[end] !== 0) ++end;
    return new TextDecoder().decode(bytes.subarray(pointer, end));
}

if (typeof module === 'object') {
    module.exports = {
        seqconvConvert, seqconvSongEvents, SEQCONV_LAYOUT, SEQCONV_OK, SEQCONV_DAMAGED, SEQCONV_UNRECOGNISED,
        SEQCONV_ERROR, SEQCONV_INVALID_ARGUMENT, SEQCONV_FAULT_NONE, SEQCONV_FAULT_CUT_OFF, SEQCONV_FAULT_MALFORMED,
        SEQCONV_FAULT_UNSUPPORTED, SEQCONV_FAULT_LIMIT, SEQCONV_LOOP_MARKERS, SEQCONV_LOOP_FOR_NEXT,
        SEQCONV_LOOP_EMIDI, SEQCONV_LOOP_DESCENT, SEQCONV_LOOP_RPG
    };
}
