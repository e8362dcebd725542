// smfSummary: the form, track count and playing time the page shows.

import assert from 'node:assert/strict';
import {createRequire} from 'node:module';
import {test} from 'node:test';

const {smfSummary} = createRequire(import.meta.url)('../smf.js');

// A Standard MIDI File of `tracks`, each a list of event bytes.
function smf(form, division, ...tracks) {
    const chunk = (name, bytes) => [...Buffer.from(name), ...bigEndian32(bytes.length), ...bytes];
    const header = chunk('MThd', [0, form, 0, tracks.length, division >> 8, division & 0xff]);
    return new Uint8Array([...header, ...tracks.flatMap((track) => chunk('MTrk', track))]);
}

function bigEndian32(value) { return [24, 16, 8, 0].map((shift) => (value >>> shift) & 0xff); }

const end = [0x00, 0xff, 0x2f, 0x00];
// A tempo event after `delta` ticks.
function tempo(delta, microseconds) { return [delta, 0xff, 0x51, 0x03, ...bigEndian32(microseconds).slice(1)]; }
// Notes with running status, a system-exclusive message and a text event:
// 192 ticks in all.
const notes = [
    0x00, 0x90, 0x3c, 0x40, 0x60, 0x3c, 0x00, 0x00, 0xf0, 0x03, 0x7e, 0x09, 0xf7,
    0x00, 0xff, 0x01, 0x02, 0x68, 0x69, 0x00, 0xc0, 0x05, 0x60, 0x80, 0x3c, 0x00
];

const cases = [
    {what: '120 a minute until a tempo is set', file: smf(0, 96, [...notes, ...end]), seconds: 1},
    {
        what: 'a tempo change halfway',
        file: smf(0, 96, [...tempo(0x60, 1000000), 0x81, 0x40, 0x90, 0x3c, 0x00, ...end]),
        seconds: 0.5 + 2
    },
    {
        what: 'form 1: the tempo track rules the longest track',
        file: smf(1, 96, [...tempo(0, 250000), ...end], [...notes, ...end]),
        seconds: 0.5
    },
    {
        what: 'form 2: songs one after the other, each with its tempos',
        file: smf(2, 96, [...tempo(0, 250000), ...notes, ...end], [...notes, ...end]),
        seconds: 0.5 + 1
    },
    {
        what: '25 frames a second, 40 ticks a frame; tempos do not count',
        file: smf(0, 0xe728, [...tempo(0, 250000), 0x87, 0x68, 0x90, 0x3c, 0x00, ...end]),
        seconds: 1
    },
    {what: '29.97 frames a second', file: smf(0, 0xe302, [0x3c, 0x90, 0x3c, 0x00, ...end]), seconds: 1.001},
    {
        what: 'a delta of 2^28 ticks takes five bytes',
        file: smf(0, 96, [0x81, 0x80, 0x80, 0x80, 0x00, ...end.slice(1)]),
        seconds: 2 ** 28 / 96 / 2
    },
    {what: 'a division of 0 ticks gives no time', file: smf(0, 0, [...notes, ...end]), seconds: null},
    {
        what: 'a track cut off inside an event ends before it',
        file: smf(0, 96, [...notes, 0x60, 0x90, 0x3c]),
        seconds: 1
    },
];

for (const {what, file, seconds} of cases) {
    test(what, () => {
        const summary = smfSummary(file);
        assert.deepStrictEqual(
            {...summary, seconds: summary.seconds?.toFixed(6) ?? null},
            {form: file[9], tracks: file[11], seconds: seconds?.toFixed(6) ?? null});
    });
}

// readSong: the notes, controls and marks the piano roll draws and the
// player plays, in seconds.
const {readSong} = createRequire(import.meta.url)('../smf.js');
const on = (delta, key, velocity = 0x40) => [delta, 0x90, key, velocity];
const off = (delta, key) => [delta, 0x80, key, 0x00];
const marker = (delta, text) => [delta, 0xff, 0x06, text.length, ...Buffer.from(text)];
const round = (value) => Math.round(value * 1e6) / 1e6;

const songCases = [
    {
        what: 'a note ends at its note off, or at a note on of velocity 0; the earliest open one first',
        file: smf(0, 96, [...on(0, 60), ...on(48, 60), ...off(48, 60), ...on(0, 62), ...off(48, 60), ...on(48, 62, 0), ...end]),
        notes: [[0, 0.5, 60], [0.25, 0.75, 60], [0.5, 1, 62]],
        unended: 0,
    },
    {
        what: 'a note on that nothing ends is not a bar',
        file: smf(0, 96, [...on(0, 60), ...on(96, 64), ...off(96, 64), ...end]),
        notes: [[0.5, 1, 64]],
        unended: 1,
    },
    {
        what: 'a tempo in another track moves the notes after it',
        file: smf(1, 96, [...tempo(96, 1000000), ...end], [...on(0, 60), 0x81, 0x40, 0x80, 60, 0, ...end]),
        notes: [[0, 1.5, 60]],
        unended: 0,
    },
    {
        what: 'form 2: the second song starts where the first ends, under its own tempo',
        file: smf(2, 96, [...tempo(0, 1000000), ...on(0, 60), ...off(96, 60), ...end], [...on(0, 62), ...off(96, 62), ...end]),
        notes: [[0, 1, 60], [1, 1.5, 62]],
        unended: 0,
    },
];

for (const {what, file, notes, unended} of songCases) {
    test(what, () => {
        const song = readSong(file);
        assert.deepStrictEqual(song.notes.map((note) => [round(note.start), round(note.end), note.key]), notes);
        assert.equal(song.unended, unended);
    });
}

test('loop markers and XMI loop controllers are marks; controllers, programs and bends are controls', () => {
    const song = readSong(smf(0, 96, [
        ...marker(0, 'loopStart'), 0x00, 0xb0, 0x74, 0x00, 0x00, 0xc1, 0x05, 0x60, 0xe2, 0x00, 0x40,
        0x00, 0xb0, 0x75, 0x7f, ...marker(0, 'loopEnd'), ...marker(0, 'other'), ...end
    ]));
    assert.deepStrictEqual(song.marks.map((mark) => [mark.time, mark.name]),
                           [[0, 'loopStart'], [0, 'FOR'], [0.5, 'NEXT'], [0.5, 'loopEnd']]);
    assert.deepStrictEqual(song.controls.map((c) => [c.time, c.channel, c.status, c.a, c.b]),
                           [[0, 0, 0xb0, 116, 0], [0, 1, 0xc0, 5, 0], [0.5, 2, 0xe0, 0, 0x40], [0.5, 0, 0xb0, 117, 127]]);
    assert.equal(song.seconds, 0.5);
});
