// What the web tests share: where things are, the program run for the bytes
// it writes, and folders read back whole for comparison.

import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const pageDir = path.join(root, 'build/web/page');
export const twin = path.join(root, 'web/seqconv.mjs');
// The program built by tools/test.sh, unless another is named.
export const program = process.env.SEQCONV_PROGRAM ?? path.join(root, 'build/test/seqconv');
// seqtool, whose `info --json` tells the library's facts of each input.
export const seqtool = process.env.SEQCONV_SEQTOOL ?? path.join(root, 'build/test/seqtool');
const wasmModule = path.join(root, 'build/web/seqconv-wasm.js');

for (const [what, file, how] of [
         ['The page', pageDir, 'bash web/build.sh'], ['The module', wasmModule, 'bash web/build.sh'],
         ['The program', program, 'bash tools/test.sh'], ['seqtool', seqtool, 'bash tools/test.sh']]) {
    if (!fs.existsSync(file)) throw new Error(`${what} is not built (${file}): run ${how}`);
}

// The page's scripts that run without a page, as Node loads them: convert.js
// (its codes also made globals, as the page's scripts see them) and song.js;
// and the WebAssembly module, started: { wasm, ...convert.js, ...song.js }.
export async function loadConverter() {
    const require = createRequire(import.meta.url);
    const convert = require('../convert.js');
    Object.assign(globalThis, convert);
    const song = require('../song.js');
    const wasm = await require(wasmModule)();
    return {wasm, ...convert, ...song};
}

// A new temporary folder, removed when the tests end.
export function temporaryFolder() {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'seqconv-web-'));
    process.on('exit', () => fs.rmSync(folder, {recursive: true, force: true}));
    return folder;
}

// Runs `command` with `args` in `cwd`: { status, stdout, stderr }.
export function run(command, args, cwd) {
    const result = spawnSync(command, args, {cwd, encoding: 'utf8'});
    if (result.error) throw result.error;
    return {status: result.status, stdout: result.stdout, stderr: result.stderr};
}

// Every file below `folder` by its relative path ("/" between folders), with
// its bytes; folders by their path ending in "/".
export function readTree(folder) {
    const tree = new Map();
    for (const entry of fs.readdirSync(folder, {recursive: true, withFileTypes: true})) {
        const full = path.join(entry.parentPath ?? entry.path, entry.name);
        const relative = path.relative(folder, full).split(path.sep).join('/');
        tree.set(entry.isDirectory() ? relative + '/' : relative, entry.isDirectory() ? null : fs.readFileSync(full));
    }
    return tree;
}

// The files of `tree` as sorted [path, bytes] pairs, for deepStrictEqual.
export function sorted(tree) { return [...tree].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0)); }

// The notes of a Standard MIDI File that end: in each track, a note on of
// velocity above 0 ended by a later note off, or note on of velocity 0, of
// its channel and key. Counted here on their own, apart from the page's
// reader, for the piano roll's tests.
export function endedNotes(smf) {
    let count = 0;
    const vlq = (state) => {
        let value = 0;
        for (;;) {
            const byte = smf[state.at++];
            value = value * 128 + (byte & 0x7f);
            if (byte < 0x80) return value;
        }
    };
    for (let offset = 14; offset + 8 <= smf.length; offset += 8 + smf.readUInt32BE(offset + 4)) {
        const state = {at: offset + 8};
        const end = offset + 8 + smf.readUInt32BE(offset + 4);
        const open = new Map();
        let running = 0;
        while (state.at < end) {
            vlq(state);
            let status = smf[state.at];
            if (status >= 0x80) ++state.at;
            else status = running;
            if (status === 0xff) {
                const type = smf[state.at++];
                const length = vlq(state);
                state.at += length;
                if (type === 0x2f) break;
            } else if (status === 0xf0 || status === 0xf7) {
                const length = vlq(state);
                state.at += length;
            } else {
                running = status;
                const kind = status >> 4;
                const [key, velocity] = [smf[state.at], smf[state.at + 1]];
                state.at += kind === 0xc || kind === 0xd ? 1 : 2;
                const id = `${status & 15}:${key}`;
                if (kind === 0x9 && velocity > 0) open.set(id, (open.get(id) ?? 0) + 1);
                else if ((kind === 0x8 || kind === 0x9) && open.get(id) > 0) {
                    open.set(id, open.get(id) - 1);
                    ++count;
                }
            }
        }
    }
    return count;
}

// The minuet's song of the XMI example three times, each on an instrument
// of its own (the program change after the song's tempo event): an XMI file
// of three songs, which converts to a form 2 file.
export function threeSongXmi(minuet) {
    const song = minuet.subarray(minuet.indexOf('CAT ') + 12);  // "FORM" size "XMID" ...
    const instrument = song.indexOf('EVNT') + 8 + 7;            // FF 51 03 tt tt tt, C0 instrument
    if (song[instrument - 1] !== 0xc0) throw new Error('the minuet has no program change after its tempo');
    const songs = [0, 1, 2].map((i) => {
        const copy = Buffer.from(song);
        copy[instrument] = i;
        return copy;
    });
    const catSize = Buffer.alloc(4);
    catSize.writeUInt32BE(4 + 3 * song.length);
    // "INFO" holds the song count, little-endian.
    const directory = Buffer.from('FORM\0\0\0\x0eXDIRINFO\0\0\0\x02\x03\0CAT ', 'latin1');
    return Buffer.concat([directory, catSize, Buffer.from('XMID'), ...songs]);
}

// An XMI file of `count` songs without events, its directory declaring one:
// more songs than one Standard MIDI File can hold, past 65535.
export function manySongXmi(count) {
    const form = (type, body) => {
        const size = Buffer.alloc(4);
        size.writeUInt32BE(4 + body.length);
        return Buffer.concat([Buffer.from('FORM'), size, Buffer.from(type), body]);
    };
    const song = form('XMID', Buffer.from('EVNT\0\0\0\0', 'latin1'));
    const directory = form('XDIR', Buffer.from('INFO\0\0\0\x02\x01\0', 'latin1'));
    const cat = Buffer.concat([Buffer.from('CAT '), Buffer.alloc(4), Buffer.from('XMID'), ...Array(count).fill(song)]);
    cat.writeUInt32BE(cat.length - 8, 4);
    return Buffer.concat([directory, cat]);
}

// seqtool info --json on `paths` (run in `cwd`): its rows by path.
export function seqtoolInfo(paths, cwd) {
    const result = run(seqtool, ['info', '--json', '--', ...paths], cwd);
    if (result.status !== 0 && result.status !== 2) throw new Error(`seqtool info failed: ${result.stderr}`);
    return new Map(result.stdout.trim().split('\n').map((line) => JSON.parse(line)).map((row) => [row.path, row]));
}

// Serves the built page from 127.0.0.1 on a free port: the server, whose
// address gives the port.
export async function servePage() {
    const {default: http} = await import('node:http');
    const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css'};
    const server = http.createServer((request, response) => {
        const file = path.join(pageDir, path.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)));
        const name = file.endsWith(path.sep) ? path.join(file, 'index.html') : file;
        if (!name.startsWith(pageDir) || !fs.existsSync(name)) return response.writeHead(404).end();
        response.writeHead(200, {'Content-Type': types[path.extname(name)] ?? 'application/octet-stream'});
        response.end(fs.readFileSync(name));
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return server;
}

// Headless Chromium (the system's, or CHROMIUM) as the page's tests run it,
// with `extra` arguments.
export async function launchChromium(extra = []) {
    const {chromium} = await import('playwright-core');
    return chromium.launch({
        executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
        args: [
            '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync', ...extra
        ],
    });
}
