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
