// What the web tests share: where things are, the program run for the bytes
// it writes, and folders read back whole for comparison.

import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const pageDir = path.join(root, 'build/web/page');
export const twin = path.join(root, 'web/seqconv.mjs');
// The program built by tools/test.sh, unless another is named.
export const program = process.env.SEQCONV_PROGRAM ?? path.join(root, 'build/test/seqconv');

for (const [what, file, how] of [
         ['The page', pageDir, 'bash web/build.sh'], ['The program', program, 'bash tools/test.sh']]) {
    if (!fs.existsSync(file)) throw new Error(`${what} is not built (${file}): run ${how}`);
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
