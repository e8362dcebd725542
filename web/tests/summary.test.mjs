// What the page tells and draws of a file, all from the library: the report
// that convert.js reads out of the module's memory (checked against
// seqtool info for every example and fuzz input, so that a struct that
// moves a field fails here), the bytes and playing time of every output
// under every option (against seqtool convert), the songs song.js pairs
// from the library's timed events, and the words of a row.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {before, describe, test} from 'node:test';

import {
    endedNotes, loadConverter, readTree, root, run, seqtool, seqtoolInfo, temporaryFolder, threeSongXmi
} from './support.mjs';

let page;  // loadConverter(): the module, convert.js and song.js
before(async () => {
    page = await loadConverter();
});

// A Standard MIDI File of `tracks`, each a list of event bytes.
function smf(form, division, ...tracks) {
    const chunk = (name, bytes) => [...Buffer.from(name), ...bigEndian32(bytes.length), ...bytes];
    const header = chunk('MThd', [0, form, 0, tracks.length, division >> 8, division & 0xff]);
    return new Uint8Array([...header, ...tracks.flatMap((track) => chunk('MTrk', track))]);
}

function bigEndian32(value) { return [24, 16, 8, 0].map((shift) => (value >>> shift) & 0xff); }

// A delta time: 7 bits a byte, most significant first.
function vlq(value) {
    const bytes = [value & 0x7f];
    while ((value >>>= 7) > 0) bytes.unshift((value & 0x7f) | 0x80);
    return bytes;
}

const end = [0x00, 0xff, 0x2f, 0x00];
// A tempo event after `delta` ticks.
const tempo = (delta, microseconds) => [...vlq(delta), 0xff, 0x51, 0x03, ...bigEndian32(microseconds).slice(1)];
const on = (delta, key, velocity = 0x40, channel = 0) => [...vlq(delta), 0x90 | channel, key, velocity];
const off = (delta, key, channel = 0) => [...vlq(delta), 0x80 | channel, key, 0x00];
const round = (value) => Math.round(value * 1e6) / 1e6;

// The song song.js builds from the events the library reads out of `bytes`.
const songOf = (bytes) => page.songFromEvents(page.seqconvSongEvents(page.wasm, bytes));

describe('the song paired from the library\'s events', () => {
    const cases = [
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
            what: 'a note off ends only a note of its own track',
            file: smf(1, 96, [...on(0, 60), ...off(192, 60), ...end], [...off(96, 60), ...end]),
            notes: [[0, 1, 60]],
            unended: 0,
        },
        {
            what: 'a note off ends only a note of its own channel',
            file: smf(0, 96, [...on(0, 60, 0x40, 3), ...off(96, 60, 4), ...end]),
            notes: [],
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
        {
            what: 'notes come in the order of their starts, whenever they end',
            file: smf(0, 96, [...on(0, 60), ...on(24, 64), ...off(24, 64), ...off(48, 60), ...end]),
            notes: [[0, 0.5, 60], [0.125, 0.25, 64]],
            unended: 0,
        },
    ];
    for (const {what, file, notes, unended} of cases) {
        test(what, () => {
            const song = songOf(file);
            assert.deepStrictEqual(song.notes.map((note) => [round(note.start), round(note.end), note.key]), notes);
            assert.equal(song.unended, unended);
        });
    }

    test('a note keeps its velocity and channel', () => {
        const song = songOf(smf(0, 96, [...on(0, 60, 100, 5), ...off(96, 60, 5), ...end]));
        assert.deepStrictEqual(song.notes, [{start: 0, end: 0.5, key: 60, velocity: 100, channel: 5}]);
    });

    test('controllers, programs and bends are controls, in time order; pressure is not', () => {
        const song = songOf(smf(1, 96, [0x00, 0xb0, 0x07, 0x64, 0x60, 0xe2, 0x00, 0x40, ...end],
                                [0x00, 0xc1, 0x05, 0x00, 0xa1, 0x3c, 0x10, 0x00, 0xd1, 0x20, 0x60, 0xb3, 0x40, 0x7f, ...end]));
        assert.deepStrictEqual(song.controls.map((c) => [c.time, c.channel, c.status, c.a, c.b]),
                               [[0, 0, 0xb0, 7, 100], [0, 1, 0xc0, 5, 0], [0.5, 2, 0xe0, 0, 0x40], [0.5, 3, 0xb0, 64, 127]]);
    });

    test('the song lasts to its last event, past its last note', () => {
        const song = songOf(smf(0, 96, [...on(0, 60), ...off(96, 60), 0x81, 0x40, 0xff, 0x2f, 0x00]));
        assert.equal(song.seconds, 0.5 + 1);
    });

    const none = [
        {what: 'a division of 0 ticks', file: smf(0, 0, [...on(0, 60), ...off(96, 60), ...end])},
        {what: 'bytes that are no Standard MIDI File', file: new Uint8Array(Buffer.from('la la la'))},
    ];
    for (const {what, file} of none) test(`no song to draw or play: ${what}`, () => assert.equal(songOf(file), null));
});

// The inputs the report is checked on: the examples of every format, and the
// fuzz seeds and pinned inputs, damaged and unrecognised files among them.
const inputFolders = ['examples', 'fuzz/corpus', 'fuzz/regressions'];
const inputNames = () => inputFolders.flatMap(
    (folder) => [...readTree(path.join(root, folder)).keys()]
                    .filter((name) => !name.endsWith('/'))
                    .map((name) => `${folder}/${name}`));

const STATUS_NAMES = ['complete', 'damaged', 'unrecognised'];

// A report's facts as seqtool info --json writes them.
function asInfoRow(name, report) {
    const read = report.status !== page.SEQCONV_UNRECOGNISED;
    const facts = report.facts;
    const word = facts?.timebase ?? 0;
    const timebase = word & 0x8000 ? `${256 - (word >> 8)}fps/${word & 0xff}` : word;
    return {
        path: name,
        format: report.format,
        status: STATUS_NAMES[report.status],
        form: read ? facts.form : null,
        tracks: read ? facts.tracks : null,
        songs: read ? facts.songs : null,
        timebase: read ? timebase : null,
        seconds: read ? facts.seconds : null,
        notes: read ? facts.notes : null,
        loops: read ? facts.loops.map((loop) => ({
            dialect: loop.dialectName, start: loop.start, end: loop.end, start_seconds: loop.startSeconds,
            end_seconds: loop.endSeconds, count: loop.count, track: loop.track
        })) : null,
        loop_seconds: read && facts.mainLoop && facts.loops[0].startSeconds !== null
            ? Math.round((facts.loops[0].endSeconds - facts.loops[0].startSeconds) * 1000) / 1000
            : null,
        synth: read && facts.synth !== '' ? facts.synth : null,
        fault: report.fault && {kind: report.fault.kindName, offset: report.fault.offset, reason: report.fault.reason},
    };
}

describe('the report read out of the module\'s memory', () => {
    test('tells what seqtool info tells, for every example and fuzz input', () => {
        const names = inputNames();
        const info = seqtoolInfo(names, root);
        assert.equal(info.size, names.length);
        let faults = 0;
        let loops = 0;
        for (const name of names) {
            const report = page.seqconvConvert(page.wasm, fs.readFileSync(path.join(root, name)), name);
            assert.notEqual(report.status, page.SEQCONV_ERROR, name);
            assert.deepStrictEqual(asInfoRow(name, report), info.get(name));
            if (report.fault) ++faults;
            loops += report.facts?.loops.length ?? 0;
        }
        // The check reached the fields of faults and loops, not only zeros.
        assert.ok(faults > 0 && loops > 0, `${faults} faults, ${loops} loops`);
    });

    // The codes beside the names must be the interface's, as convert.js
    // names them: faults and loops made here in Standard MIDI Files.
    const header = (tracks) => [...Buffer.from('MThd'), 0, 0, 0, 6, 0, 1, 0, tracks, 0, 96];
    const track = (body) => [...Buffer.from('MTrk'), ...bigEndian32(body.length), ...body];
    const marker = (delta, text) => [...vlq(delta), 0xff, 0x06, text.length, ...Buffer.from(text)];
    const control = (delta, number, value) => [...vlq(delta), 0xb0, number, value];
    const notes = [...on(0, 60), ...off(96, 60)];
    const faults = [
        {file: [...header(1), ...Buffer.from('MTrk'), 0, 0, 0, 40, 0, 0x90, 60], code: 'SEQCONV_FAULT_CUT_OFF', name: 'cut off'},
        {file: [...header(1), ...track([0x00, 0x40, 0x40, ...end])], code: 'SEQCONV_FAULT_MALFORMED', name: 'malformed'},
        {file: [...header(1), ...track([0x00, 0xf7, 0x01, 0x00])], code: 'SEQCONV_FAULT_UNSUPPORTED', name: 'unsupported'},
    ];
    for (const {file, code, name} of faults) {
        test(`a fault of kind ${name} is ${code}`, () => {
            const report = page.seqconvConvert(page.wasm, new Uint8Array(file), 'x.mid');
            assert.equal(report.status, page.SEQCONV_DAMAGED);
            assert.deepStrictEqual([report.fault.kind, report.fault.kindName], [page[code], name]);
        });
    }
    const loops = [
        {body: [...marker(0, 'loopStart'), ...notes, ...marker(0, 'loopEnd')], code: 'SEQCONV_LOOP_MARKERS', name: 'markers'},
        {body: [...control(0, 116, 3), ...notes, ...control(0, 117, 127)], code: 'SEQCONV_LOOP_EMIDI', name: 'emidi'},
        {body: [...on(0, 60), ...control(0, 111, 0), ...off(96, 60)], code: 'SEQCONV_LOOP_RPG', name: 'rpg'},
    ];
    for (const {body, code, name} of loops) {
        test(`a loop of dialect ${name} is ${code}`, () => {
            const file = new Uint8Array([...header(1), ...track([...body, ...end])]);
            const report = page.seqconvConvert(page.wasm, file, 'x.mid');
            assert.equal(report.status, page.SEQCONV_OK);
            assert.deepStrictEqual(report.facts.loops.map((loop) => [loop.dialect, loop.dialectName]), [[page[code], name]]);
        });
    }
});

// The page converts with the options the user chose and shows each output's
// playing time and main loop from its facts: seqtool convert, given the same
// options, must write the page's bytes, and seqtool info on those files must
// tell the same time and main loop; seqtool's count of songs whose loops were
// rewritten must be the report's.
describe('every output under every option', () => {
    const cases = [
        {what: 'plain', options: {}, args: [], more: 0},
        {what: 'split', options: {split: true}, args: ['--split'], more: 2},
        {what: 'played out twice, a fade of 10 s', options: {loops: 2, fadeMilliseconds: 10000},
         args: ['--loops', '2', '--fade', '10'], more: 0, looped: 'played out'},
        {what: 'played out 3 times, no fade, whole', options: {loops: 3, fadeMilliseconds: 0, whole: true},
         args: ['--loops', '3', '--fade', '0', '--whole'], more: 0, looped: 'played out'},
        {what: 'marked', options: {markLoops: true}, args: ['--mark-loops'], more: 0, looped: 'marked'},
        {what: 'marked, whole, split', options: {markLoops: true, whole: true, split: true},
         args: ['--mark-loops', '--whole', '--split'], more: 2, looped: 'marked'},
        // A song of several songs is split before its tracks are merged.
        {what: 'one track', options: {form0: true}, args: ['--form', '0'], more: 2},
        {what: 'one track, played out', options: {form0: true, loops: 2, fadeMilliseconds: 1500},
         args: ['--form', '0', '--loops', '2', '--fade', '1.5'], more: 2, looped: 'played out'},
    ];
    for (const {what, options, args, more, looped} of cases) {
        test(`equals seqtool's for every example, ${what}`, () => {
            const folder = temporaryFolder();
            fs.cpSync(path.join(root, 'examples'), folder, {recursive: true});
            fs.writeFileSync(path.join(folder, 'three.xmi'), threeSongXmi(fs.readFileSync(path.join(folder, 'minuet.xmi'))));
            const inputs = fs.readdirSync(folder).sort();
            const written = run(seqtool, ['convert', ...args, '--', ...inputs], folder);
            assert.equal(written.status, 0, written.stderr);
            const outputs = fs.readdirSync(folder).filter((name) => name.endsWith('.mid') && !inputs.includes(name));
            const info = seqtoolInfo(outputs, folder);
            let files = 0;
            let songsLooped = 0;
            for (const input of inputs) {
                const report = page.seqconvConvert(page.wasm, fs.readFileSync(path.join(folder, input)), input, options);
                assert.equal(report.songs.length, report.outputs.length);
                assert.equal(report.loopFault, null);
                songsLooped += report.looped;
                report.outputs.forEach((bytes, i) => {
                    const name = report.outputs.length > 1 ? `${input}.${i + 1}.mid` : `${input}.mid`;
                    const row = info.get(name);
                    assert.deepStrictEqual(Buffer.from(bytes), fs.readFileSync(path.join(folder, name)), name);
                    assert.equal(report.songs[i].seconds, row.seconds, name);
                    assert.equal(page.describeLength(report.songs[i]),
                                 `${row.seconds.toFixed(1)} s${row.form === 2 ? ' in all' : ''}`);
                    // The main loop, which the player follows. (The report reads a
                    // song's loop controllers as its input's format meant them,
                    // seqtool info the written file's as a Standard MIDI File's.)
                    const facts = report.songs[i];
                    assert.deepStrictEqual(
                        facts.mainLoop ? [facts.loops[0].dialectName, facts.loops[0].start, facts.loops[0].end] : null,
                        row.loop_seconds === null ? null : [row.loops[0].dialect, row.loops[0].start, row.loops[0].end],
                        name);
                    assert.equal(page.describeLoop(report.songs[i]),
                                 row.loop_seconds === null ? '' : `, loop ${row.loop_seconds.toFixed(1)} s`, name);
                    ++files;
                });
            }
            assert.equal(files, outputs.length);
            assert.equal(files, inputs.length + more);
            const summary = written.stderr.match(/; (\d+) songs? with loops (played out|marked) in /);
            assert.deepStrictEqual(summary && [Number(summary[1]), summary[2]], looped ? [songsLooped, looped] : null);
            if (looped) assert.ok(songsLooped > 0);
        });
    }

    // Played out a thousand times, a loop of 2001 notes would hold some
    // 4,000,000 events, past the library's bound: the song is written as
    // read, and the report says why as seqtool does.
    test('a play-out past the bounds leaves the loops as read, and says why', () => {
        const folder = temporaryFolder();
        const notes = Array.from({length: 2001}, () => [...on(0, 60), ...off(1, 60)]).flat();
        const marker = (text) => [0x00, 0xff, 0x06, text.length, ...Buffer.from(text)];
        fs.writeFileSync(path.join(folder, 'long.mid'), smf(0, 96, [...marker('loopStart'), ...notes, ...marker('loopEnd'), ...end]));
        const written = run(seqtool, ['convert', '--loops', '1000', '--', 'long.mid'], folder);
        assert.equal(written.status, 0, written.stderr);
        const [, kind, reason] = written.stderr.match(/^long\.mid: loops left as read \((.+?)\): (.+)$/m) ?? [];
        assert.ok(reason, written.stderr);
        const report = page.seqconvConvert(page.wasm, fs.readFileSync(path.join(folder, 'long.mid')), 'long.mid', {loops: 1000});
        assert.deepStrictEqual([report.loopFault, report.looped], [{kind: page.SEQCONV_FAULT_LIMIT, reason}, 0]);
        assert.equal(kind, 'limit');
        assert.deepStrictEqual(Buffer.from(report.outputs[0]), fs.readFileSync(path.join(folder, 'long.mid.mid')));
        assert.ok(page.describeResult(report).endsWith(`; loops left as read: ${reason}`), page.describeResult(report));
    });

    // The roll draws a bar for every note that ends, counted by the tests' own
    // reader; with the notes nothing ends they are the facts' notes.
    for (const [promote, split] of [[false, false], [true, false], [false, true]]) {
        test(`the songs drawn hold the notes of the file${promote ? ', promoted' : ''}${split ? ', split' : ''}`, () => {
            const inputs = fs.readdirSync(path.join(root, 'examples')).map((name) => [name, fs.readFileSync(path.join(root, 'examples', name))]);
            inputs.push(['three.xmi', threeSongXmi(fs.readFileSync(path.join(root, 'examples/minuet.xmi')))]);
            for (const [name, bytes] of inputs) {
                const report = page.seqconvConvert(page.wasm, bytes, name, {promote, split});
                report.outputs.forEach((output, i) => {
                    const song = songOf(output);
                    assert.equal(song.notes.length, endedNotes(Buffer.from(output)), name);
                    assert.equal(song.notes.length + song.unended, report.songs[i].notes, name);
                    assert.ok(Math.abs(song.seconds - report.songs[i].seconds) <= 0.0005, name);
                });
            }
        });
    }
});

describe('the words of a row', () => {
    const facts = (more) => ({form: 1, tracks: 3, songs: 1, timebase: 96, seconds: 15.06, notes: 44, synth: '',
                              mainLoop: false, loops: [], ...more});
    const fault = {kind: 1, kindName: 'cut off', offset: 40, reason: 'track 2: event cut off',
                   words: 'damaged at byte 40 (cut off): track 2: event cut off'};
    const result = (more) => ({status: 0, format: 'XMI', resembles: null, fault: null, songs: [facts()], loopFault: null,
                               ...more});
    const loop = (startSeconds, endSeconds, more) => ({dialect: 0, dialectName: 'markers', start: 0, end: 0, startSeconds,
                                                       endSeconds, count: 0, track: null, ...more});
    const cases = [
        {what: 'converted', result: result(), words: 'XMI: form 1, 3 tracks, 15.1 s'},
        {what: 'one track, a synthesiser', result: result({songs: [facts({tracks: 1, synth: 'MT-32'})]}),
         words: 'XMI: form 1, 1 track, 15.1 s, for MT-32'},
        {what: 'form 2 songs play one after another', result: result({songs: [facts({form: 2})]}),
         words: 'XMI: form 2, 3 tracks, 15.1 s in all'},
        {what: 'no time', result: result({songs: [facts({seconds: null})]}), words: 'XMI: form 1, 3 tracks, length unknown'},
        {what: 'split', result: result({songs: [facts(), facts(), facts()]}), words: 'XMI: 3 songs'},
        {what: 'damaged, the fault as the library words it', result: result({status: 1, fault}),
         words: 'XMI: form 1, 3 tracks, 15.1 s (damaged at byte 40 (cut off): track 2: event cut off)'},
        {what: 'damaged, nothing read', result: result({status: 1, fault, songs: []}),
         words: 'XMI: nothing read, damaged at byte 40 (cut off): track 2: event cut off'},
        {what: 'damaged without a fault', result: result({status: 1, songs: []}), words: 'XMI: nothing read, damaged'},
        {what: 'not recognised', result: result({status: 2, format: null, songs: []}), words: 'not recognised'},
        {
            what: 'not recognised, but begins as a format\'s file',
            result: result({
                status: 2, format: null, songs: [], resembles: 'RMID',
                fault: {kind: 1, kindName: 'cut off', offset: 4, reason: 'r', words: 'a RIFF RMID file cut off: it declares 92,466 bytes and holds 40,000'}
            }),
            words: 'not recognised: a RIFF RMID file cut off: it declares 92,466 bytes and holds 40,000'
        },
        {what: 'the main loop, one pass of it',
         result: result({songs: [facts({mainLoop: true, loops: [loop(2.5, 14.75), loop(0, 1)]})]}),
         words: 'XMI: form 1, 3 tracks, 15.1 s, loop 12.3 s'},
        {what: 'loops, none of them the main loop', result: result({songs: [facts({loops: [loop(2.5, 14.75)]})]}),
         words: 'XMI: form 1, 3 tracks, 15.1 s'},
        {what: 'a main loop without a time', result: result({songs: [facts({mainLoop: true, loops: [loop(null, null)]})]}),
         words: 'XMI: form 1, 3 tracks, 15.1 s'},
        {what: 'a main loop that takes no time', result: result({songs: [facts({mainLoop: true, loops: [loop(3, 3)]})]}),
         words: 'XMI: form 1, 3 tracks, 15.1 s'},
        {what: 'loops left as read, and why',
         result: result({loopFault: {kind: 4, reason: 'played out, the song would hold more than 4,000,000 events'}}),
         words: 'XMI: form 1, 3 tracks, 15.1 s; loops left as read: played out, the song would hold more than 4,000,000 events'},
        {what: 'an error', result: result({status: 3, message: 'Error while converting: std::bad_alloc'}),
         words: 'Error while converting: std::bad_alloc'},
    ];
    for (const {what, result: given, words} of cases) test(what, () => assert.equal(page.describeResult(given), words));
});
