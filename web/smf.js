// What the page shows of a Standard MIDI File: its form, its number of
// tracks and how long it plays, and the song that its piano roll draws and
// its player plays. A classic script, joined into the worker's one script
// and loaded by the page; Node loads it with require for the tests.
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
    const header = chunksOf(bytes);
    if (header === null) return null;
    const {form, division} = header;
    const trackCount = header.tracks;
    const tracks = header.chunks.map((chunk) => readTrack(bytes, chunk.start, chunk.end));

    let seconds;
    if (form === 2) {
        seconds = tracks.reduce((sum, track) => sum + clockOf(track.tempos, division)(track.end), 0);
    } else {
        const end = tracks.reduce((latest, track) => Math.max(latest, track.end), 0);
        // Tempos at the same tick stay in track order, so the last track's
        // holds from there.
        const tempos = tracks.flatMap((track) => track.tempos).sort((a, b) => a.tick - b.tick);
        seconds = clockOf(tempos, division)(end);
    }
    return {form, tracks: trackCount, seconds: Number.isFinite(seconds) ? seconds : null};
}

// Calls visit(tick, status, type, position, length) for each event of the
// track in bytes[start, end): `status` the status byte (running status
// applied), `type` the meta type or -1, the data at bytes[position,
// position + length). Returns the tick of the last event read.
function forEachEvent(bytes, start, end, visit) {
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
        visit(tick, status, type, position, length);
        position += length;
        if (type === 0x2f) break;  // end of track
    }
    return tick;
}

// The track chunks of the file: [{ start, end }] of their bytes, as many as
// the header counts and the file holds, and the header's fields.
function chunksOf(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (bytes.length < 14 || view.getUint32(0) !== 0x4d546864) return null;  // "MThd"
    const header = {form: view.getUint16(8), tracks: view.getUint16(10), division: view.getUint16(12), chunks: []};
    let offset = 8 + view.getUint32(4);
    while (header.chunks.length < header.tracks && offset + 8 <= bytes.length) {
        const length = view.getUint32(offset + 4);
        const start = offset + 8;
        if (view.getUint32(offset) === 0x4d54726b) header.chunks.push({start, end: Math.min(start + length, bytes.length)});  // "MTrk"
        offset = start + length;
    }
    return header;
}

// The tick of a track's last event and its tempo changes ({ tick, tempo }
// in order), read from bytes[start, end).
function readTrack(bytes, start, end) {
    const tempos = [];
    const last = forEachEvent(bytes, start, end, (tick, status, type, position, length) => {
        if (type === 0x51 && length === 3) tempos.push({tick, tempo: tempoAt(bytes, position)});
    });
    return {end: last, tempos};
}

function tempoAt(bytes, position) { return (bytes[position] << 16) | (bytes[position + 1] << 8) | bytes[position + 2]; }

// Seconds from the start at each tick under `tempos` ({ tick, tempo } in
// order; at one tick the last holds): a function of the tick.
function clockOf(tempos, division) {
    if (division & 0x8000) {
        const framesPerSecond = 256 - (division >> 8);
        const rate = (framesPerSecond === 29 ? 30000 / 1001 : framesPerSecond) * (division & 0xff);
        return (tick) => tick / rate;
    }
    const segments = [{tick: 0, seconds: 0, tempo: DEFAULT_TEMPO}];
    for (const change of tempos) {
        const last = segments[segments.length - 1];
        if (change.tick === last.tick) {
            last.tempo = change.tempo;
        } else {
            const seconds = last.seconds + (change.tick - last.tick) * last.tempo / division / 1e6;
            segments.push({tick: change.tick, seconds, tempo: change.tempo});
        }
    }
    return (tick) => {
        let low = 0;
        let high = segments.length - 1;
        while (low < high) {
            const middle = (low + high + 1) >> 1;
            if (segments[middle].tick <= tick) low = middle;
            else high = middle - 1;
        }
        const segment = segments[low];
        return segment.seconds + (tick - segment.tick) * segment.tempo / division / 1e6;
    };
}

// The names of the marks drawn on the piano roll: the loop markers (FF 06)
// and XMI's loop controllers, which the converter leaves in the song.
const LOOP_MARKERS = new Set(['loopStart', 'loopEnd']);
const LOOP_CONTROLLERS = new Map([[116, 'FOR'], [117, 'NEXT']]);

// The song of a Standard MIDI File as the page draws and plays it, every
// time in seconds from the start, as a player plays the file:
//   notes: { start, end, key, velocity, channel }, one for each note on
//     (velocity above 0) that a note off, or a note on of velocity 0, of
//     its channel and key ends later in its track (the earliest open one
//     first), in order of their starts;
//   unended: the note ons that nothing ended;
//   controls: { time, channel, status, a, b } of the controllers (B0),
//     program changes (C0) and pitch bends (E0), in time order;
//   marks: { time, name }: loopStart, loopEnd, FOR, NEXT;
//   seconds: the end of the last event.
// Forms 0 and 1 play their tracks together under every track's tempos; a
// form 2 file's songs play one after the other, each with its own tempos.
// Null when the bytes are not a Standard MIDI File or the division gives
// no time.
function readSong(bytes) {
    const header = chunksOf(bytes);
    if (header === null || header.division === 0 || header.division === 0x8000) return null;
    const groups = header.form === 2 ? header.chunks.map((chunk) => [chunk]) : [header.chunks];
    const song = {form: header.form, notes: [], unended: 0, controls: [], marks: [], seconds: 0};
    let offset = 0;
    for (const chunks of groups) {
        const tempos = chunks.flatMap((chunk) => readTrack(bytes, chunk.start, chunk.end).tempos)
                           .sort((a, b) => a.tick - b.tick);
        const clock = clockOf(tempos, header.division);
        const at = (tick) => offset + clock(tick);
        let last = 0;
        for (const chunk of chunks) {
            const open = new Map();  // channel * 128 + key: the starts not ended yet, earliest first
            last = Math.max(last, forEachEvent(bytes, chunk.start, chunk.end, (tick, status, type, position, length) => {
                const kind = status & 0xf0;
                const channel = status & 0x0f;
                if (type === 0x06 && LOOP_MARKERS.has(textAt(bytes, position, length))) {
                    song.marks.push({time: at(tick), name: textAt(bytes, position, length)});
                } else if (kind === 0x90 && bytes[position + 1] > 0) {
                    const id = channel * 128 + bytes[position];
                    if (!open.has(id)) open.set(id, []);
                    open.get(id).push({start: at(tick), velocity: bytes[position + 1]});
                } else if (kind === 0x80 || kind === 0x90) {
                    const started = open.get(channel * 128 + bytes[position])?.shift();
                    if (started) song.notes.push({...started, end: at(tick), key: bytes[position], channel});
                } else if (kind === 0xb0 || kind === 0xc0 || kind === 0xe0) {
                    const time = at(tick);
                    song.controls.push({time, channel, status: kind, a: bytes[position], b: length > 1 ? bytes[position + 1] : 0});
                    if (kind === 0xb0 && LOOP_CONTROLLERS.has(bytes[position]))
                        song.marks.push({time, name: LOOP_CONTROLLERS.get(bytes[position])});
                }
            }));
            for (const starts of open.values()) song.unended += starts.length;
        }
        offset = at(last);
    }
    song.seconds = offset;
    const byTime = (key) => (a, b) => a[key] - b[key];
    song.notes.sort(byTime('start'));
    song.controls.sort(byTime('time'));
    song.marks.sort(byTime('time'));
    return song;
}

function textAt(bytes, position, length) { return String.fromCharCode(...bytes.subarray(position, position + length)); }

if (typeof module === 'object') module.exports = {smfSummary, readSong};
