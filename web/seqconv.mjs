// The seqconv program's twin on Node.js, for scripts and for the tests:
//
//   node web/seqconv.mjs [-1] FILES...
//
// It converts with the WebAssembly module the web page uses
// (build/web/seqconv-wasm.js, made by web/build.sh) and behaves as the program
// does: NAME.mid written beside every input, the same messages on standard
// error, the same exit status. Wildcards are left to the shell: a pattern
// that reaches it unexpanded is taken as a file name.

import fs from 'node:fs';
import {createRequire} from 'node:module';

const require = createRequire(import.meta.url);
const modulePath = new URL('../build/web/seqconv-wasm.js', import.meta.url);
if (!fs.existsSync(modulePath)) {
    process.stderr.write(`${modulePath.pathname} is missing: build it with bash web/build.sh\n`);
    process.exit(1);
}
const createSeqconv = require(modulePath.pathname);
const {seqconvConvert, SEQCONV_ERROR} = require('./convert.js');

const USAGE = 'Usage:\tseqconv [-1] <input files and/or wildcards>\n\n\t-1 - Promote type 0 files to type 1\n';

// The program's exit statuses: a file error ends the run with 1; a file that
// could not be converted does not.
const DONE = 0;
const STOP = 1;

function fail(message) {
    process.stderr.write(message + '\n');
    return STOP;
}

// Opens a file as the program does, or gives null: a folder is no file to
// convert.
function openFile(name, flags) {
    let fd;
    try {
        fd = fs.openSync(name, flags);
    } catch {
        return null;
    }
    if (fs.fstatSync(fd).isDirectory()) {
        fs.closeSync(fd);
        return null;
    }
    return fd;
}

// All the bytes of an open file, or null when fewer could be read than its
// length. Pipes and sockets have no length the program can seek to.
function readAll(fd) {
    const info = fs.fstatSync(fd);
    if (info.isFIFO() || info.isSocket()) return null;
    const bytes = new Uint8Array(info.size);
    let done = 0;
    try {
        while (done < bytes.length) {
            const count = fs.readSync(fd, bytes, done, bytes.length - done, done);
            if (count === 0) return null;
            done += count;
        }
    } catch {
        return null;
    }
    return bytes;
}

// Writes and closes; a failed close (a full disk, say) is a failed write too.
function writeAll(fd, bytes) {
    let written = true;
    try {
        for (let done = 0; done < bytes.length;) done += fs.writeSync(fd, bytes, done, bytes.length - done);
    } catch {
        written = false;
    }
    try {
        fs.closeSync(fd);
    } catch {
        written = false;
    }
    return written;
}

function convertOne(wasm, inputName, promote) {
    const outputName = inputName + '.mid';
    const input = openFile(inputName, 'r');
    if (input === null) return fail(`Unable to open input file: ${inputName}`);
    const output = openFile(outputName, 'w');
    if (output === null) {
        fs.closeSync(input);
        return fail(`Unable to open output file: ${outputName}`);
    }
    const bytes = readAll(input);
    fs.closeSync(input);
    if (bytes === null) {
        fs.closeSync(output);
        return fail(`Unable to read input file: ${inputName}`);
    }
    // Whatever the song holds is written, also when the input was damaged or
    // not recognised (zero bytes then); after an error the output stays empty.
    const result = seqconvConvert(wasm, bytes, inputName, {promote});
    if (result.status === SEQCONV_ERROR) {
        fs.closeSync(output);
        process.stderr.write(`Error while converting file (${inputName}): ${result.message}\n`);
        return DONE;
    }
    if (!writeAll(output, result.outputs[0] ?? new Uint8Array()))
        return fail(`Error writing to output file: ${outputName}`);
    return DONE;
}

async function main(args) {
    if (args.length < 1) {
        process.stderr.write(USAGE);
        return STOP;
    }
    // Only the first argument that is exactly "-1" is the option; it applies
    // to every file wherever it stands.
    const optionIndex = args.indexOf('-1');
    const wasm = await createSeqconv();
    for (let i = 0; i < args.length; ++i) {
        if (i === optionIndex) continue;
        if (convertOne(wasm, args[i], optionIndex >= 0) === STOP) return STOP;
    }
    return DONE;
}

// Set rather than process.exit(), so that what was written to standard error
// reaches a pipe whole.
process.exitCode = await main(process.argv.slice(2));
