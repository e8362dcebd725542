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
