// The page in headless Chromium (Debian's chromium, driven by playwright-core),
// served from 127.0.0.1: the examples of every format and an XMI file of
// three songs go in through the folder and file pickers, every MIDI file and
// the zip archive come out as downloads, and each must hold the bytes the
// program writes, with and without promotion and split, and what seqtool
// convert writes with the loop options and one track; each file's piano
// roll draws its notes; a song plays, looping where it loops; on a narrow
// screen the rolls take the whole width. A screenshot for the README is
// taken on the way (SEQCONV_SCREENSHOT names where; by default
// build/web/page.png), and one of the narrow page (build/web/narrow.png).

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {
    endedNotes, launchChromium, pageDir, program, readTree, root, run, seqtool, seqtoolInfo, servePage, sorted,
    temporaryFolder, threeSongXmi
} from './support.mjs';

const work = temporaryFolder();
const examples = path.join(work, 'examples');
// An XMI file of three songs, for the split; its name is not ASCII, as names
// in the zip archive need not be.
const threeSongs = path.join(work, 'três canções.xmi');

let server;
let browser;
let page;
const requests = [];
const pageErrors = [];

before(async () => {
    fs.cpSync(path.join(root, 'examples'), examples, {recursive: true});
    fs.writeFileSync(threeSongs, threeSongXmi(fs.readFileSync(path.join(examples, 'minuet.xmi'))));

    server = await servePage();
    browser = await launchChromium();
    const context = await browser.newContext({acceptDownloads: true, viewport: {width: 900, height: 700}});
    context.on('request', (request) => requests.push(request.url()));
    page = await context.newPage();
    page.on('pageerror', (error) => pageErrors.push(error.message));
});

after(async () => {
    await browser?.close();
    server?.close();
});

// What the program writes for every input ("examples/minuet.xmi.mid" and so
// on), with -1 or without; split songs are named as the page names them.
function programOutputs(promote, split) {
    const folder = fs.mkdtempSync(path.join(work, 'program-'));
    fs.cpSync(examples, path.join(folder, 'examples'), {recursive: true});
    fs.copyFileSync(threeSongs, path.join(folder, path.basename(threeSongs)));
    const inputs = [...readTree(folder).keys()].filter((name) => !name.endsWith('/'));
    const option = promote ? ['-1'] : [];
    assert.equal(run(program, [...option, ...inputs], folder).status, 0);
    const outputs = new Map(inputs.map((name) => [`${name}.mid`, fs.readFileSync(path.join(folder, `${name}.mid`))]));
    if (split) {
        // Song i of a form 2 file is its track i behind a form 0 header, as
        // the program writes it again (promoted with -1).
        // (-1 leaves a form 2 file as it is.)
        const name = `${path.basename(threeSongs)}.mid`;
        const form2 = outputs.get(name);
        outputs.delete(name);
        tracksOf(form2).forEach((track, i) => {
            const song = path.join(folder, `song${i + 1}`);
            fs.writeFileSync(
                song, Buffer.concat([form2.subarray(0, 8), Buffer.from([0, 0, 0, 1]), form2.subarray(12, 14), track]));
            assert.equal(run(program, [...option, path.basename(song)], folder).status, 0);
            outputs.set(name.replace(/\.mid$/, `.${i + 1}.mid`), fs.readFileSync(`${song}.mid`));
        });
    }
    return outputs;
}

// What seqtool convert writes with `args` for every input, by the names the
// page gives them ("examples/minuet.xmi.mid", "NAME.1.mid" for a song of
// several songs).
function seqtoolOutputs(args) {
    const folder = fs.mkdtempSync(path.join(work, 'seqtool-'));
    fs.cpSync(examples, path.join(folder, 'examples'), {recursive: true});
    fs.copyFileSync(threeSongs, path.join(folder, path.basename(threeSongs)));
    const inputs = [...readTree(folder).keys()].filter((name) => !name.endsWith('/'));
    const result = run(seqtool, ['convert', ...args, '--', ...inputs], folder);
    assert.equal(result.status, 0, result.stderr);
    const outputs = [...readTree(folder)].filter(([name, bytes]) => bytes !== null && !inputs.includes(name));
    return new Map(outputs);
}

// Sets the loop options and the one track as a person does: the loop radio
// button, a whole song's loop, the play-out's numbers typed (and left, which
// commits them), the one track.
async function setOptions({loops = 'file', passes = null, fade = null, whole = false, form0 = false}) {
    // "Whole songs loop" is for marked or played-out loops only.
    await page.check('#loops-mark');
    await page.setChecked('#whole', whole);
    await page.check(`#loops-${loops}`);
    for (const [id, value] of [['#passes', passes], ['#fade', fade]]) {
        if (value === null) continue;
        await page.fill(id, value);
        await page.locator(id).blur();
    }
    await page.setChecked('#form0', form0);
}

// The "MTrk" chunks of a Standard MIDI File, headers included.
function tracksOf(smf) {
    const tracks = [];
    for (let offset = 14; offset < smf.length; offset += 8 + smf.readUInt32BE(offset + 4)) {
        tracks.push(smf.subarray(offset, offset + 8 + smf.readUInt32BE(offset + 4)));
    }
    return tracks;
}

// Waits until the page has converted its whole list.
async function converted() { await page.waitForFunction(() => document.body.dataset.pending === '0'); }

// Every MIDI file the page offers, downloaded: name → bytes. Chromium drops
// the downloads of a page beyond ten a second, so the clicks are paced.
async function downloads() {
    const files = new Map();
    for (const link of await page.locator('tbody a').all()) {
        const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
        files.set(download.suggestedFilename(), fs.readFileSync(await download.path()));
        await new Promise((resolve) => setTimeout(resolve, 110));
    }
    return files;
}

// The zip archive, downloaded and unpacked by Python's zipfile (which checks
// every CRC-32): path → bytes.
async function zipContents() {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#zip')]);
    assert.equal(download.suggestedFilename(), 'seqconv-midi.zip');
    const unpacked = fs.mkdtempSync(path.join(work, 'zip-'));
    const result = run('python3', ['-m', 'zipfile', '-e', await download.path(), unpacked], work);
    assert.equal(result.status, 0, result.stderr);
    return readTree(unpacked);
}

// The downloads are named without folders, the zip's entries with them.
const baseNames = (outputs) => new Map([...outputs].map(([name, bytes]) => [path.basename(name), bytes]));
const asTree = (outputs) => {
    const tree =
        new Map([...outputs].filter(([name]) => name.includes('/')).map(([name]) => [path.dirname(name) + '/', null]));
    return new Map([...tree, ...outputs]);
};

test('the page writes the bytes of the program, alone and in a zip, for every option', async () => {
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.setInputFiles('#folder', examples);
    await page.setInputFiles('#files', threeSongs);

    for (const [promote, split] of [[false, false], [true, false], [true, true], [false, true]]) {
        await page.setChecked('#promote', promote);
        await page.setChecked('#split', split);
        await converted();
        const expected = programOutputs(promote, split);
        assert.deepStrictEqual(
            sorted(await downloads()), sorted(baseNames(expected)), `promote ${promote}, split ${split}`);
        assert.deepStrictEqual(sorted(await zipContents()), sorted(asTree(expected)));
    }
    assert.match(await page.textContent('#status'), /^12 files: 12 converted, 0 not recognised or empty, 0 errors\.$/);
    assert.match(await page.textContent('tbody tr:last-child td'), /^XMI: 3 songs$/);
});

// Each MIDI file's piano roll, once scrolled into view, draws a bar for every
// note of the file that ends, and every loop the library found in it; it is
// named after the file it shows.
test('every piano roll draws the notes and loops of the file it shows', async () => {
    const expected = programOutputs(false, true);  // the options the last test left
    const rolls = page.locator('.roll');
    assert.equal(await rolls.count(), expected.size);
    const drawn = new Map();
    const loopsDrawn = new Map();
    for (const roll of await rolls.all()) {
        await roll.scrollIntoViewIfNeeded();
        const canvas = roll.locator('canvas');
        await canvas.waitFor();
        await page.waitForFunction((element) => element.dataset.notes !== undefined, await canvas.elementHandle());
        const name = (await canvas.getAttribute('aria-label')).replace(/^piano roll of /, '');
        drawn.set(name, Number(await canvas.getAttribute('data-notes')));
        loopsDrawn.set(name, Number(await canvas.getAttribute('data-loops')));
    }
    const wanted = new Map([...expected].map(([name, bytes]) => [path.basename(name), endedNotes(bytes)]));
    assert.deepStrictEqual(sorted(drawn), sorted(wanted));
    assert.ok([...wanted.values()].every((count) => count > 0));
    // The examples are files of one song: their output's loops are the
    // input's, as seqtool info tells them.
    const info = seqtoolInfo(fs.readdirSync(examples), examples);
    const loopsWanted = new Map([...info.values()].map((row) => [`${row.path}.mid`, row.loops.length]));
    assert.deepStrictEqual(sorted(new Map([...loopsDrawn].filter(([name]) => loopsWanted.has(name)))),
                           sorted(loopsWanted));
    assert.ok([...loopsWanted.values()].some((count) => count > 0));

    // The rolls that scrolled away were let go; those of the first rows are
    // drawn again once they are back in view.
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.waitForFunction(() => {
        const inView = [...document.querySelectorAll('.roll')].filter((roll) => roll.getBoundingClientRect().top < innerHeight);
        return inView.length > 0 && inView.every((roll) => roll.querySelector('canvas')?.dataset.notes !== undefined);
    });
    assert.ok(await page.locator('.roll canvas').count() < expected.size);
});

// Play turns into Stop while its song plays and the cursor moves across its
// roll; starting another song stops the first; a click on a roll plays from
// there. The screenshot shows a song playing, with its loop: the HMI
// example's, whose loop markers span the song.
test('a song plays with a moving cursor, and one song plays at a time', async () => {
    const row = (name) => page.locator('tbody tr').filter({hasText: `examples/${name}`});
    const [first, second] = ['minuet.hmi', 'minuet.lds'].map(row);
    const [play, playSecond] = [first.locator('button.play'), second.locator('button.play')];
    const cursor = first.locator('.roll .cursor');
    const canvas = first.locator('.roll canvas');
    // The page's controls above, the playing row at the bottom.
    await first.evaluate((element) => element.scrollIntoView({block: 'end'}));
    await canvas.waitFor();
    await page.waitForFunction((element) => element.dataset.loops === '1', await canvas.elementHandle());
    const cursorLeft = async () => parseFloat(await cursor.evaluate((element) => element.style.left));
    await play.click();
    assert.equal(await play.textContent(), 'Stop');
    await page.waitForFunction((element) => parseFloat(element.style.left) > 20, await cursor.elementHandle());
    assert.ok(await cursor.isVisible());
    await page.screenshot({path: process.env.SEQCONV_SCREENSHOT ?? path.join(root, 'build/web/page.png')});

    await playSecond.click();
    assert.equal(await play.textContent(), 'Play');
    assert.equal(await playSecond.textContent(), 'Stop');
    assert.ok(!(await cursor.isVisible()));
    await playSecond.click();
    assert.equal(await playSecond.textContent(), 'Play');

    // Three quarters along the first roll: the cursor starts there.
    const box = await canvas.boundingBox();
    await page.mouse.click(box.x + box.width * 0.75, box.y + box.height / 2);
    assert.equal(await play.textContent(), 'Stop');
    await page.waitForFunction(
        ([element, width]) => parseFloat(element.style.left) > width * 0.7, [await cursor.elementHandle(), box.width]);
    assert.ok(await cursorLeft() > box.width * 0.7);
    await play.click();
});

// The loop options and one track reach the conversion: every download and
// the zip hold what seqtool convert writes with the same options. One track
// and promotion exclude each other.
test('the page writes what seqtool writes, with the loop options and one track', async () => {
    await page.setChecked('#promote', false);
    await page.setChecked('#split', false);
    const cases = [
        {set: {loops: 'play', passes: '2', fade: '10'}, args: ['--loops', '2', '--fade', '10']},
        {set: {loops: 'play', passes: '3', fade: '2.5', whole: true}, args: ['--loops', '3', '--fade', '2.5', '--whole']},
        {set: {loops: 'mark'}, args: ['--mark-loops']},
        {set: {loops: 'mark', whole: true}, args: ['--mark-loops', '--whole']},
        {set: {form0: true}, args: ['--form', '0']},
        {set: {loops: 'play', passes: '3', fade: '2.5', form0: true}, args: ['--form', '0', '--loops', '3', '--fade', '2.5']},
    ];
    for (const {set, args} of cases) {
        await setOptions(set);
        await converted();
        const expected = seqtoolOutputs(args);
        assert.deepStrictEqual(sorted(await downloads()), sorted(baseNames(expected)), args.join(' '));
        assert.deepStrictEqual(sorted(await zipContents()), sorted(asTree(expected)), args.join(' '));
        assert.equal(await page.isDisabled('#promote'), set.form0 === true);
    }
    await setOptions({});
    await page.check('#promote');
    assert.ok(await page.isDisabled('#form0'));
    await page.uncheck('#promote');
    await converted();
});

// At 400 pixels wide each row is a block, the file's name and its result
// above its MIDI files, and every piano roll takes nine tenths of the width
// at least.
test('on a narrow screen the piano rolls take the whole width', async () => {
    await page.setViewportSize({width: 400, height: 800});
    try {
        const row = page.locator('tbody tr').filter({hasText: 'examples/minuet.lds'});
        await row.evaluate((element) => element.scrollIntoView({block: 'center'}));
        const canvas = row.locator('.roll canvas');
        await canvas.waitFor();
        await page.waitForFunction((element) => element.dataset.notes !== undefined, await canvas.elementHandle());
        const rolls = await page.locator('.roll').evaluateAll((rolls) => rolls.map((roll) => roll.getBoundingClientRect().width));
        assert.ok(rolls.length > 0 && rolls.every((width) => width >= 360), `rolls ${rolls}`);
        const [name, result, roll] = await Promise.all(
            [row.locator('th'), row.locator('td').first(), row.locator('.roll')].map((part) => part.boundingBox()));
        assert.ok(name.y + name.height <= result.y + 1 && result.y + result.height <= roll.y + 1,
                  `name ${JSON.stringify(name)}, result ${JSON.stringify(result)}, roll ${JSON.stringify(roll)}`);
        await page.screenshot({path: path.join(root, 'build/web/narrow.png')});
    } finally {
        await page.setViewportSize({width: 900, height: 700});
    }
});

test('a file of no known format is listed as not recognised, with nothing to download', async () => {
    await page.click('#clear');
    await page.setInputFiles('#files', {name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('la la la')});
    await converted();
    assert.equal(await page.textContent('tbody td'), 'not recognised');
    assert.equal(await page.locator('tbody a').count(), 0);
    assert.ok(await page.isDisabled('#zip'));
});

test('a damaged file shows where and why its reading stopped, once when nothing was read', async () => {
    await page.click('#clear');
    const track = (body) => Buffer.concat([Buffer.from('MTrk\0\0\0'), Buffer.from([body.length]), Buffer.from(body)]);
    const smf = (...tracks) => Buffer.concat([Buffer.from([...Buffer.from('MThd'), 0, 0, 0, 6, 0, 1, 0, tracks.length, 0, 96]), ...tracks]);
    const f7 = [0x00, 0xf7, 0x01, 0x00];  // a system-exclusive packet, which the reader does not read
    await page.setInputFiles('#files', [
        {name: 'partly.mid', mimeType: 'audio/midi', buffer: smf(track([0x00, 0xff, 0x2f, 0x00]), track(f7))},
        {name: 'nothing.mid', mimeType: 'audio/midi', buffer: smf(track(f7))},
    ]);
    await converted();
    const rows = await page.locator('tbody tr').allTextContents();
    assert.ok(rows.some((row) => /SMF: form 1, 1 track, .* \(damaged at byte 35 \(unsupported\): track 1: F7 packet\)/.test(row)), rows);
    assert.ok(rows.some((row) => /SMF: nothing read, damaged at byte 23 \(unsupported\): track 0: F7 packet/.test(row)), rows);
});

// A song whose main loop (markers at 0.5 s and 1.5 s) ends before the song
// does: its row tells the pass's length, its roll draws the loop, and Play
// goes back to the loop's start at its end, the cursor with it, until
// stopped.
const DIVISION = 96;
const delta = (n) => (n < 128 ? [n] : [0x80 | (n >> 7), n & 0x7f]);
const marker = (ticks, text) => [...delta(ticks), 0xff, 0x06, text.length, ...Buffer.from(text)];
const note = (ticks, length, key) => [...delta(ticks), 0x90, key, 100, ...delta(length), 0x80, key, 0];
function oneTrack(...events) {
    const body = [...events.flat(), 0, 0xff, 0x2f, 0];
    const length = Buffer.alloc(4);
    length.writeUInt32BE(body.length);
    return Buffer.concat([Buffer.from([...Buffer.from('MThd'), 0, 0, 0, 6, 0, 0, 0, 1, 0, DIVISION]),
                          Buffer.from('MTrk'), length, Buffer.from(body)]);
}

test('Play follows the main loop, and the cursor goes back with it', async () => {
    await page.click('#clear');
    // At 120 beats a minute 96 ticks are half a second: the loop 0.5 s to
    // 1.5 s, notes to 3 s.
    const looping = oneTrack(note(0, 48, 60), marker(48, 'loopStart'), note(0, 48, 62), note(48, 48, 64),
                             marker(48, 'loopEnd'), note(0, 288, 67));
    await page.setInputFiles('#files', {name: 'looping.mid', mimeType: 'audio/midi', buffer: looping});
    await converted();
    const row = page.locator('tbody tr').first();
    assert.match(await row.locator('td').first().textContent(), /^SMF: form 0, 1 track, 3\.0 s, loop 1\.0 s$/);
    const canvas = row.locator('.roll canvas');
    await canvas.waitFor();
    await page.waitForFunction((element) => element.dataset.loops === '1', await canvas.elementHandle());
    const width = (await canvas.boundingBox()).width;
    await row.locator('button.play').click();
    const lefts = await page.evaluate(async () => {
        const cursor = document.querySelector('.roll .cursor');
        const seen = [];
        for (let i = 0; i < 70; ++i) {
            seen.push(parseFloat(cursor.style.left));
            await new Promise((resolve) => setTimeout(resolve, 50));
        }
        return seen.filter(Number.isFinite);
    });
    assert.equal(await row.locator('button.play').textContent(), 'Stop');
    await row.locator('button.play').click();
    // Seconds of the song where the cursor stood: never past the loop's
    // end, and back to its start at least twice in 3.5 s.
    const seconds = lefts.map((left) => (left / width) * 3);
    assert.ok(Math.max(...seconds) <= 1.5 + 0.05, `cursor at ${seconds}`);
    const jumps = seconds.filter((time, i) => i > 0 && seconds[i - 1] - time > 0.5);
    assert.ok(jumps.length >= 2, `cursor at ${seconds}`);
    assert.ok(jumps.every((time) => time >= 0.5 - 0.01 && time < 0.5 + 0.2), `after the jumps ${jumps}`);
});

test('the page works opened from file://', async () => {
    await page.goto(`file://${pageDir}/index.html`);
    await page.setInputFiles('#files', path.join(examples, 'minuet.lds'));
    await converted();
    const files = await downloads();
    assert.deepStrictEqual(files.get('minuet.lds.mid'), programOutputs(false, false).get('examples/minuet.lds.mid'));
});

test('nothing was fetched but the page itself, and the page raised no error', () => {
    assert.deepStrictEqual(pageErrors, []);
    const own = [`http://127.0.0.1:${server.address().port}/`, `file://${pageDir}/`, 'blob:', 'data:'];
    assert.deepStrictEqual(requests.filter((url) => !own.some((start) => url.startsWith(start))), []);
    assert.ok(requests.length > 0);
});
