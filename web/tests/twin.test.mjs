// web/seqconv.mjs against the program: the same files written, the same
// messages, the same exit status.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {test} from 'node:test';

import {manySongXmi, program, readTree, root, run, sorted, temporaryFolder, twin} from './support.mjs';

// Both run on copies of the same files in folders of their own; whatever
// either leaves behind must be the same.
function compare(setUp, args) {
    const work = temporaryFolder();
    const results = {};
    for (const [who, command, commandArgs] of [
             ['program', program, args], ['twin', process.execPath, [twin, ...args]]]) {
        const folder = path.join(work, who);
        fs.mkdirSync(folder);
        setUp(folder);
        results[who] = {...run(command, commandArgs, folder), files: sorted(readTree(folder))};
    }
    assert.deepStrictEqual(results.twin, results.program);
    return results.program;
}

// The examples of every format, and the fuzz seeds and pinned inputs, damaged
// files among them, as they are.
const inputFolders = ['examples', 'fuzz/corpus', 'fuzz/regressions'];
const copyInputs = (folder) => {
    for (const from of inputFolders) fs.cpSync(path.join(root, from), path.join(folder, from), {recursive: true});
};
const inputNames = inputFolders.flatMap(
    (from) => [...readTree(path.join(root, from)).keys()]
                  .filter((name) => !name.endsWith('/'))
                  .map((name) => `${from}/${name}`));

for (const option of [[], ['-1']]) {
    test(`every input converts to the same bytes ${option.length ? 'with' : 'without'} -1`, () => {
        const result = compare(copyInputs, [...option, ...inputNames]);
        assert.equal(result.status, 0);
        const written = new Map(result.files);
        for (const name of inputNames) assert.ok(written.has(`${name}.mid`), `${name}.mid written`);
    });
}

// Two songs, a folder, an input whose output cannot be made because a
// folder has its name, and one that holds more songs than a Standard MIDI
// File can.
const setUpErrors = (folder) => {
    fs.copyFileSync(path.join(root, 'examples/minuet.xmi'), path.join(folder, 'a.xmi'));
    fs.copyFileSync(path.join(root, 'examples/minuet.mus'), path.join(folder, 'b.mus'));
    fs.mkdirSync(path.join(folder, 'folder'));
    fs.copyFileSync(path.join(root, 'examples/minuet.gmf'), path.join(folder, 'blocked.gmf'));
    fs.mkdirSync(path.join(folder, 'blocked.gmf.mid'));
    fs.writeFileSync(path.join(folder, 'many.xmi'), manySongXmi(65536));
};
const errorCases = [
    {args: [], status: 1, stderr: /^Usage:/},
    {args: ['a.xmi', 'missing.xmi', 'b.mus'], status: 1, stderr: /^Unable to open input file: missing.xmi\n$/},
    {args: ['folder', 'a.xmi'], status: 1, stderr: /^Unable to open input file: folder\n$/},
    {args: ['a.xmi', 'blocked.gmf', 'b.mus'], status: 1, stderr: /^Unable to open output file: blocked.gmf.mid\n$/},
    {args: ['-1', 'a.xmi', '-1'], status: 1, stderr: /^Unable to open input file: -1\n$/},
    // A file that cannot be converted is told of, and the run goes on.
    {args: ['a.xmi', 'many.xmi', 'b.mus'], status: 0,
     stderr: /^Error while converting file \(many\.xmi\): too many tracks for a Standard MIDI File \(65536, at most 65535\)\n$/},
];
for (const {args, status, stderr} of errorCases) {
    test(`a run that meets an error ends as the program's does: ${args.join(' ') || 'no arguments'}`, () => {
        const result = compare(setUpErrors, args);
        assert.equal(result.status, status);
        assert.match(result.stderr, stderr);
    });
}
