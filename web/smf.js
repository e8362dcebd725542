// What the page shows of a Standard MIDI File: its form, its number of
// tracks and how long it plays. A classic script, joined into the worker's
// one script; Node loads it with require for the tests.
//
// The file's layout, all numbers big-endian:
//   "MThd", length 6, form (16 bits), tracks (16 bits), division (16 bits)
//   then per track "MTrk", length (32 bits), the events:
//     delta time (variable length), then one of
//     a channel message (status 80-EF, or running status, and 1 or 2 bytes),
//     F0 or F7, length (variable), the bytes,
//     FF, type, length (variable), the bytes; FF 51 03 is a tempo, in
//     microseconds per quarter note.
// A division with its top bit clear counts ticks per quarter note; with it
// set, its top byte is minus the frames a second (24, 25, 29 for 29.97 or
// 30) and its low byte the ticks a frame, and tempos do not count.

'use strict';

// The tempo until a file sets one: 120 quarter notes a minute.
const DEFAULT_TEMPO = 500000;

// { form, tracks, seconds } of the file in `bytes` (a Uint8Array). `seconds`
// is null when the division gives no time (0 ticks). Forms 0 and 1 play
// their tracks together, to the end of the longest, with every track's
// tempos in force; a form 2 file holds independent songs, each with its own
// tempos, which play one after the other. Reading stops quietly at the
// first thing out of place.
function smfSummary(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (bytes.length < 14 || view.getUint32(0) !== 0x4d546864) return null;  // "MThd"
    const form = view.getUint16(8);
    const trackCount = view.getUint16(10);
    const division = view.getUint16(12);

    const tracks = [];
    let offset = 8 + view.getUint32(4);
    while (tracks.length < trackCount && offset + 8 <= bytes.length) {
        const length = view.getUint32(offset + 4);
        const start = offset + 8;
        const end = Math.min(start + length, bytes.length);
        if (view.getUint32(offset) === 0x4d54726b) tracks.push(readTrack(bytes, start, end));  // "MTrk"
        offset = start + length;
    }

    let seconds;
    if (form === 2) {
        seconds = tracks.reduce((sum, track) => sum + secondsAt(track.end, track.tempos, division), 0);
    } else {
        const end = tracks.reduce((latest, track) => Math.max(latest, track.end), 0);
        // Tempos at the same tick stay in track order, so the last track's
        // holds from there.
        const tempos = tracks.flatMap((track) => track.tempos).sort((a, b) => a.tick - b.tick);
        seconds = secondsAt(end, tempos, division);
    }
    return {form, tracks: trackCount, seconds: Number.isFinite(seconds) ? seconds : null};
}

// The tick of a track's last event and its tempo changes ({ tick, tempo }
// in order), read from bytes[start, end).
function readTrack(bytes, start, end) {
    const tempos = [];
    let position = start;
    let tick = 0;
    let runningStatus = 0;

    // A variable-length number: 7 bits a byte, most significant first, the
    // top bit set on every byte but the last. Read as the core reads it: a
    // delta above 2^28 - 1 takes a fifth byte, and only the low 32 bits
    // count. Null when the track ends inside.
    const readNumber = () => {
        let value = 0;
        while (position < end) {
            const byte = bytes[position++];
            value = ((value << 7) | (byte & 0x7f)) >>> 0;
            if (byte < 0x80) return value;
        }
        return null;
    };

    while (position < end) {
        const delta = readNumber();
        if (delta === null || position >= end) break;
        let status = bytes[position];
        if (status >= 0x80) {
            ++position;
        } else if (runningStatus !== 0) {
            status = runningStatus;
        } else {
            break;
        }
        let length;
        let type = -1;
        if (status === 0xff) {
            if (position >= end) break;
            type = bytes[position++];
            length = readNumber();
            runningStatus = 0;
        } else if (status === 0xf0 || status === 0xf7) {
            length = readNumber();
            runningStatus = 0;
        } else if (status >= 0xf0) {
            break;  // no other system message belongs in a file
        } else {
            length = status >= 0xc0 && status < 0xe0 ? 1 : 2;
            runningStatus = status;
        }
        if (length === null || position + length > end) break;
        tick += delta;
        if (type === 0x51 && length === 3) {
            tempos.push({tick, tempo: (bytes[position] << 16) | (bytes[position + 1] << 8) | bytes[position + 2]});
        }
        position += length;
        if (type === 0x2f) break;  // end of track
    }
    return {end: tick, tempos};
}

// Seconds from the start to `tick` under `tempos` ({ tick, tempo } in order).
function secondsAt(tick, tempos, division) {
    if (division & 0x8000) {
        const framesPerSecond = 256 - (division >> 8);
        const ticksPerFrame = division & 0xff;
        const rate = framesPerSecond === 29 ? 30000 / 1001 : framesPerSecond;
        return tick / (rate * ticksPerFrame);
    }
    let microseconds = 0;
    let from = 0;
    let tempo = DEFAULT_TEMPO;
    for (const change of tempos) {
        if (change.tick >= tick) break;
        microseconds += (change.tick - from) * tempo;
        from = change.tick;
        tempo = change.tempo;
    }
    microseconds += (tick - from) * tempo;
    return microseconds / division / 1e6;
}

if (typeof module === 'object') module.exports = {smfSummary};
