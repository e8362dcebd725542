// The page's synthesiser and player, rendered offline in headless Chromium:
// Standard MIDI Files written here (or converted from the examples by the
// program) are read back by the library (in the module, as the page's
// worker reads them), made songs by the page's songFromEvents and go
// through renderSong, the same player and scheduler that plays them aloud,
// and the buffer that comes back is measured: its loudness, where each note
// begins, where the sound ends.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {launchChromium, loadConverter, program, root, run, servePage, temporaryFolder} from './support.mjs';

let server;
let browser;
let page;
let converter;

before(async () => {
    converter = await loadConverter();
    server = await servePage();
    // A real AudioContext runs without a click on the page.
    browser = await launchChromium(['--autoplay-policy=no-user-gesture-required']);
    page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
});

after(async () => {
    await browser?.close();
    server?.close();
});

const DIVISION = 480;
const vlq = (n) => {
    const bytes = [n & 0x7f];
    while ((n >>= 7) > 0) bytes.unshift((n & 0x7f) | 0x80);
    return bytes;
};

// A form 1 file: track 0 the tempos ([tick, microseconds a quarter]), then
// one track of `events` ([tick, ...bytes] in any order); the note off of a
// note is its note on of velocity 0.
function smf(tempos, events) {
    const track = (list) => {
        const body = [];
        let last = 0;
        for (const [tick, ...bytes] of [...list].sort((a, b) => a[0] - b[0])) {
            body.push(...vlq(tick - last), ...bytes);
            last = tick;
        }
        body.push(0, 0xff, 0x2f, 0);
        return [0x4d, 0x54, 0x72, 0x6b, ...[24, 16, 8, 0].map((s) => (body.length >>> s) & 0xff), ...body];
    };
    const tempoTrack = tempos.map(([tick, t]) => [tick, 0xff, 0x51, 3, t >> 16, (t >> 8) & 0xff, t & 0xff]);
    return [0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 1, 0, 2, DIVISION >> 8, DIVISION & 0xff,
            ...track(tempoTrack), ...track(events)];
}

// Notes [tick, length in ticks, key] on `channel` under `program`.
function notesOf(notes, {channel = 0, program = 16, velocity = 100} = {}) {
    return [[0, 0xc0 | channel, program],
            ...notes.flatMap(([tick, length, key]) => [[tick, 0x90 | channel, key, velocity], [tick + length, 0x90 | channel, key, 0]])];
}

// Seconds at `tick` under `tempos`, counted here from the file's numbers.
function secondsAt(tick, tempos) {
    let seconds = 0;
    for (let i = 0; i < tempos.length && tempos[i][0] < tick; ++i) {
        const until = Math.min(tick, i + 1 < tempos.length ? tempos[i + 1][0] : Infinity);
        seconds += (until - tempos[i][0]) * tempos[i][1] / DIVISION / 1e6;
    }
    return seconds;
}

// The timed events of the file in `bytes` as the worker hands them to the
// page, as plain arrays to pass into it; the page makes the song with
// songFromEvents(timed).
function eventsOf(bytes) {
    const timed = converter.seqconvSongEvents(converter.wasm, Uint8Array.from(bytes));
    assert.equal(timed.read, converter.SEQCONV_OK);
    const plain = {...timed};
    for (const field of ['seconds', 'track', 'status', 'data1', 'data2']) plain[field] = [...timed[field]];
    return plain;
}

// Renders the file's song in the page (from `from`, following `loop` for
// `seconds` when given) and measures the buffer: its RMS, its onsets (where
// the level rises past a tenth of the peak after at least 20 ms below it),
// the last moment it is at half its peak or more, and its loudest level
// in every 10 ms.
async function render(bytes, {from = 0, loop = null, seconds = null, tail = 1} = {}) {
    return page.evaluate(async ({timed, from, loop, seconds, tail}) => {
        const song = songFromEvents(timed);
        const buffer = await renderSong(song, {from, loop, seconds, tail});
        const [left, right] = [buffer.getChannelData(0), buffer.getChannelData(1)];
        let peak = 0;
        let sum = 0;
        for (let i = 0; i < left.length; ++i) {
            const level = Math.max(Math.abs(left[i]), Math.abs(right[i]));
            peak = Math.max(peak, level);
            sum += left[i] * left[i] + right[i] * right[i];
        }
        const onsets = [];
        const blocks = [];
        let quiet = Infinity;
        let lastLoud = 0;
        for (let i = 0; i < left.length; ++i) {
            const level = Math.max(Math.abs(left[i]), Math.abs(right[i]));
            const block = Math.floor(i / (buffer.sampleRate / 100));
            blocks[block] = Math.max(blocks[block] ?? 0, level);
            if (level >= peak / 2) lastLoud = i / buffer.sampleRate;
            if (level < peak / 10) {
                ++quiet;
            } else {
                if (quiet >= 0.02 * buffer.sampleRate) onsets.push(i / buffer.sampleRate);
                quiet = 0;
            }
        }
        return {rms: Math.sqrt(sum / (2 * left.length)), peak, onsets, lastLoud, blocks, duration: buffer.duration,
                seconds: song.seconds, finite: left.every(Number.isFinite)};
    }, {timed: eventsOf(bytes), from, loop, seconds, tail});
}

// Silence is 0; -60 dB over the whole buffer, or -40 dB at the loudest, is
// a sound, however short.
const AUDIBLE_RMS = 0.001;
const AUDIBLE_PEAK = 0.01;

test('songs sound: the examples, the drums, and every instrument family', async () => {
    const work = temporaryFolder();
    fs.cpSync(path.join(root, 'examples'), work, {recursive: true});
    const names = ['minuet.mid', 'minuet.xmi', 'minuet.mus', 'minuet.hmp'];
    assert.equal(run(program, names, work).status, 0);
    const cases = names.map((name) => ({name, bytes: [...fs.readFileSync(path.join(work, `${name}.mid`))]}));
    // The program's outputs play drums on channel 10 only where a
    // format has them; the examples have none, so the kit is written here.
    // Drums on channel 10, one of each kind of the kit (kick, snare, tom,
    // hats, cymbals, cowbell, conga, maracas, triangle), struck four times.
    for (const key of [36, 38, 45, 42, 46, 49, 51, 56, 62, 70, 81]) {
        const hits = [0, 240, 480, 720].map((tick) => [tick, 30, key]);
        cases.push({name: `drum ${key}`, bytes: smf([[0, 500000]], notesOf(hits, {channel: 9, program: 0}))});
    }
    for (let program = 0; program < 128; program += 8) {
        cases.push({name: `program ${program}`, bytes: smf([[0, 500000]], notesOf([[0, 480, 60], [480, 480, 67]], {program}))});
    }
    const levels = new Map();
    for (const {name, bytes} of cases) {
        const {rms, peak, finite} = await render(bytes);
        assert.ok(finite, name);
        assert.ok(rms > AUDIBLE_RMS && peak > AUDIBLE_PEAK, `${name}: RMS ${rms}, peak ${peak}`);
        levels.set(name, rms);
    }
    // Sixteen families, sixteen different sounds.
    const families = [...levels].filter(([name]) => name.startsWith('program')).map(([, rms]) => rms.toFixed(6));
    assert.equal(new Set(families).size, 16, families.join(' '));
});

// The song ends when its last note lets go. Organ notes hold their level to
// the note off and then fall with a 30 ms time constant, so the last moment
// at half the peak or more is the end of the last note, at most ~21 ms
// later: a tempo map read wrong, a note cut short or one that hangs on
// moves it by far more. The end is counted here from the ticks.
test('the sound lasts as long as the song', async () => {
    const cases = [
        {tempos: [[0, 500000]], notes: [[0, 960, 60], [960, 960, 64]]},
        {tempos: [[0, 500000], [480, 250000], [1440, 1000000]], notes: [[0, 480, 60], [480, 960, 64], [1440, 480, 67]]},
        {tempos: [[0, 2000000], [240, 400000]], notes: [[0, 2400, 48], [1200, 1200, 55]]},
    ];
    for (const {tempos, notes} of cases) {
        const end = secondsAt(Math.max(...notes.map(([tick, length]) => tick + length)), tempos);
        const {lastLoud, duration} = await render(smf(tempos, notesOf(notes)));
        assert.ok(Math.abs(lastLoud - end) <= 0.05, `sound ends at ${lastLoud}, the song at ${end}`);
        assert.ok(Math.abs(duration - (end + 1)) < 0.01, `buffer of ${duration} s`);
    }
});

// Short notes with silence between them, across three tempos: each onset
// in the buffer against the note's time counted from the file's ticks.
const TEMPOS = [[0, 500000], [1920, 300000], [3840, 800000]];
const NOTES = Array.from({length: 10}, (_, i) => [i * 480 + (i % 3) * 60, 90, 60 + 2 * i]);

test('every note begins at its time in the file', async () => {
    const {onsets} = await render(smf(TEMPOS, notesOf(NOTES)));
    const expected = NOTES.map(([tick]) => secondsAt(tick, TEMPOS));
    assert.equal(onsets.length, expected.length, `onsets ${onsets}`);
    onsets.forEach((onset, i) => assert.ok(Math.abs(onset - expected[i]) <= 0.005, `note ${i}: ${onset}, not ${expected[i]}`));
});

test('playing from a point starts with the first note at or after it', async () => {
    const times = NOTES.map(([tick]) => secondsAt(tick, TEMPOS));
    for (const from of [times[4], (times[6] + times[7]) / 2, times[9] - 0.001]) {
        const first = times.find((time) => time >= from);
        const {onsets} = await render(smf(TEMPOS, notesOf(NOTES)), {from});
        assert.ok(Math.abs(onsets[0] - (first - from)) <= 0.005, `from ${from}: first onset ${onsets[0]}, not ${first - from}`);
        assert.equal(onsets.length, times.filter((time) => time >= from).length);
    }
});

// A volume change before the point is in force after it: the note sounds as
// loud as it does when the song plays from the start.
test('playing from a point applies the controllers before it', async () => {
    const quiet = [[0, 0xc0, 16], [0, 0xb0, 7, 40], [0, 0x90, 60, 100], [240, 0x90, 60, 0], [960, 0x90, 64, 100], [1440, 0x90, 64, 0]];
    const part = await render(smf([[0, 500000]], quiet), {from: 0.75});
    const loud = await render(smf([[0, 500000]], quiet.filter((event) => event[1] !== 0xb0)), {from: 0.75});
    assert.ok(loud.rms > 2 * part.rms, `volume not applied: ${loud.rms} against ${part.rms}`);
});

test('no more than 48 voices sound at once', async () => {
    for (const [chord, peak] of [[30, 30], [100, 48]]) {
        const notes = Array.from({length: chord}, (_, i) => [0, 960, 24 + i]);
        const result = await page.evaluate(async (timed) => {
            const song = songFromEvents(timed);
            const context = new OfflineAudioContext(2, 22050 * 3, 22050);
            const player = new SongPlayer(context, song);
            player.start(0);
            const buffer = await context.startRendering();
            return {peak: player.peakVoices, finite: buffer.getChannelData(0).every(Number.isFinite)};
        }, eventsOf(smf([[0, 500000]], notesOf(notes))));
        assert.deepEqual(result, {peak, finite: true}, `a chord of ${chord}`);
    }
});

// The pedal (controller 64) holds a note past its note off until it comes
// up: the sound stays loud to the pedal's release (tick 1440, 1.5 s), not
// the note off (tick 240), and no later.
test('a note held by the sustain pedal lets go with the pedal', async () => {
    const events = [[0, 0xc0, 16], [0, 0xb0, 64, 127], [0, 0x90, 60, 100], [240, 0x90, 60, 0], [1440, 0xb0, 64, 0],
                    [1920, 0xb0, 7, 100]];
    const {lastLoud} = await render(smf([[0, 500000]], events));
    assert.ok(Math.abs(lastLoud - 1.5) <= 0.05, `let go at ${lastLoud}`);
});

// A bend to the top (+2 semitones) halfway through a held flute note raises
// the note already sounding: its frequency, from the zero crossings of each
// half, rises by 2^(2/12) (within 0.5 %).
test('a pitch bend bends the notes already sounding', async () => {
    const events = [[0, 0xc0, 72], [0, 0x90, 69, 100], [480, 0xe0, 0x7f, 0x7f], [960, 0x90, 69, 0]];
    const [before, after] = await page.evaluate(async (timed) => {
        const buffer = await renderSong(songFromEvents(timed));
        const samples = buffer.getChannelData(0);
        const frequency = (from, to) => {
            const crossings = [];
            for (let i = Math.round(from * buffer.sampleRate); i < to * buffer.sampleRate; ++i) {
                if (samples[i - 1] < 0 && samples[i] >= 0) crossings.push(i - samples[i] / (samples[i] - samples[i - 1]));
            }
            return (crossings.length - 1) * buffer.sampleRate / (crossings.at(-1) - crossings[0]);
        };
        return [frequency(0.1, 0.45), frequency(0.55, 0.9)];
    }, eventsOf(smf([[0, 500000]], events)));
    assert.ok(Math.abs(before / 440 - 1) < 0.005, `${before} Hz before`);
    assert.ok(Math.abs(after / before / Math.pow(2, 2 / 12) - 1) < 0.005, `${after} Hz after ${before}`);
});

// Aloud, on a real AudioContext: the song's end calls onended once, with the
// position at the end; a song stopped before its end never does.
test('the player tells when it reached the end by itself, not after stop()', async () => {
    const bytes = smf([[0, 500000]], notesOf([[0, 240, 60], [240, 240, 64]]));
    const result = await page.evaluate(async (timed) => {
        const context = new AudioContext();
        const song = songFromEvents(timed);
        const play = (stopAfter) => new Promise((resolve) => {
            const player = new SongPlayer(context, song);
            let ended = 0;
            player.onended = () => ++ended;
            player.start(0);
            const playing = player.playing;
            if (stopAfter !== null) setTimeout(() => player.stop(), stopAfter);
            setTimeout(() => resolve({playing, ended, stillPlaying: player.playing, position: player.position()}), 1000);
        });
        const whole = await play(null);
        const stopped = await play(200);
        await context.close();
        return {whole, stopped};
    }, eventsOf(bytes));
    assert.deepEqual(result.whole, {playing: true, ended: 1, stillPlaying: false, position: 0.5});
    assert.equal(result.stopped.ended, 0);
    assert.equal(result.stopped.stillPlaying, false);
    assert.ok(result.stopped.position > 0 && result.stopped.position < 0.5, `stopped at ${result.stopped.position}`);
});

// Play follows the song's main loop as the game does: from the loop's end
// back to its start, pass after pass. The loop is the one the library finds
// in the file (markers "loopStart" at 1 s and "loopEnd" at 3 s here), as
// the page hands it to its player; the notes are short and apart, a long
// one crossing the loop's end, and one after it that a looping song never
// reaches.
const marker = (tick, text) => [tick, 0xff, 0x06, text.length, ...Buffer.from(text)];
const LOOP_NOTES = [[0, 90, 60], [1200, 90, 62], [1680, 90, 64], [2160, 90, 65], [2520, 840, 67], [3840, 90, 69]];
const loopedSong = (start, end) => smf([[0, 500000]], [...notesOf(LOOP_NOTES), marker(start, 'loopStart'), marker(end, 'loopEnd')]);

// The play times at which the notes starting at `times` (song seconds) are
// heard within `seconds` of play from `from`, counted here: the first pass
// runs to the loop's end, every later one over the loop; from past the
// loop's end the song plays once to its end.
function heardAt(times, loop, from, seconds) {
    if (from >= loop.end) return times.filter((time) => time >= from).map((time) => time - from);
    const heard = times.filter((time) => time >= from && time < loop.end).map((time) => time - from);
    for (let pass = loop.end - from; pass < seconds; pass += loop.end - loop.start)
        heard.push(...times.filter((time) => time >= loop.start && time < loop.end).map((time) => pass + time - loop.start));
    return heard.filter((time) => time < seconds);
}

// The page's main loop of a file: its report's facts, made a span by mainLoopOf.
function mainLoopOfFile(bytes) {
    const report = converter.seqconvConvert(converter.wasm, Uint8Array.from(bytes), 'looped.mid');
    return converter.mainLoopOf(report.songs[0]);
}

describe('a song that loops', () => {
    const bytes = loopedSong(960, 2880);
    const times = LOOP_NOTES.map(([tick]) => tick / 960);
    const SECONDS = 7;

    test('the page finds the loop of the file', () => assert.deepStrictEqual(mainLoopOfFile(bytes), {start: 1, end: 3}));

    for (const from of [0, 2, 0.5, 3.2]) {
        test(`plays its notes again at every pass's times, from ${from} s`, async () => {
            const loop = mainLoopOfFile(bytes);
            const {onsets} = await render(bytes, {from, loop, seconds: SECONDS, tail: 0});
            const expected = heardAt(times, loop, from, SECONDS);
            assert.equal(onsets.length, expected.length, `onsets ${onsets}, not ${expected}`);
            onsets.forEach((onset, i) => assert.ok(Math.abs(onset - expected[i]) <= 0.005, `note ${i}: ${onset}, not ${expected[i]}`));
        });
    }

    // The long note would sound to 3.5 s; it ends at the jump, and the next
    // pass is quiet until its first note, 0.25 s after the loop's start.
    test('a note sounding at the jump ends there', async () => {
        const {blocks, peak} = await render(bytes, {loop: mainLoopOfFile(bytes), seconds: SECONDS, tail: 0});
        assert.ok(Math.max(...blocks.slice(290, 300)) > peak / 4, 'the long note sounds before the jump');
        const after = Math.max(...blocks.slice(310, 324));
        assert.ok(after < peak / 20, `${after} after the jump, the peak ${peak}`);
    });

    // A loop of 20 ms is no loop to follow: the song plays once to its end.
    test('a loop too short to follow is played through', async () => {
        const short = loopedSong(960, 979);
        const loop = mainLoopOfFile(short);
        assert.ok(loop.end - loop.start < 0.05, JSON.stringify(loop));
        const {onsets} = await render(short, {loop, seconds: SECONDS, tail: 0});
        assert.equal(onsets.length, times.length, `onsets ${onsets}`);
    });
});
