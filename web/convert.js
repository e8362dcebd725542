// The core's C interface (include/seqconv/seqconv_c.h) called in the
// WebAssembly module from JavaScript: the bytes of an input in, the bytes of
// Standard MIDI Files out. The page's worker and seqconv.mjs share it. It is
// a classic script, so that it can be joined into the worker's one script,
// and Node loads it with require.

'use strict';

// enum seqconv_status
const SEQCONV_OK = 0;
const SEQCONV_DAMAGED = 1;
const SEQCONV_UNRECOGNISED = 2;
const SEQCONV_ERROR = 3;

// Room for the interface's message, which is one short line.
const MESSAGE_SIZE = 512;

// Converts `input` (a Uint8Array) as the program does for a file called
// `name`, whose extension recognises LDS modules. With `split`, a song of
// several independent songs gives one file per song. `wasm` is what
// createSeqconv() resolved to. Returns { status, format, message, outputs },
// `outputs` being Uint8Arrays of their own (none when the result is empty,
// and none after SEQCONV_ERROR, whose message says why).
function seqconvConvert(wasm, input, name, promote, split) {
    const nameBytes = new TextEncoder().encode(name);
    // Pointers are unsigned 32-bit numbers; `>>> 0` keeps them so.
    const inputPointer = wasm._malloc(Math.max(input.length, 1)) >>> 0;
    const namePointer = wasm._malloc(nameBytes.length + 1) >>> 0;
    // seqconv_buffer (data, size) or (seqconv_buffer*, count): two 32-bit
    // words in either case; then the message.
    const resultPointer = wasm._malloc(8) >>> 0;
    const messagePointer = wasm._malloc(MESSAGE_SIZE) >>> 0;
    try {
        if (!inputPointer || !namePointer || !resultPointer || !messagePointer) {
            // The program fails the same way when a file does not fit in
            // memory.
            return {status: SEQCONV_ERROR, format: null, message: 'std::bad_alloc', outputs: []};
        }
        wasm.HEAPU8.set(input, inputPointer);
        wasm.HEAPU8.set(nameBytes, namePointer);
        wasm.HEAPU8[namePointer + nameBytes.length] = 0;

        const formatPointer = wasm._seqconv_detect(inputPointer, input.length, namePointer) >>> 0;
        const format = formatPointer ? cString(wasm, formatPointer) : null;

        const outputs = [];
        let status;
        if (split) {
            status = wasm._seqconv_convert_songs(
                inputPointer, input.length, namePointer, promote ? 1 : 0, resultPointer, resultPointer + 4,
                messagePointer, MESSAGE_SIZE);
            // The memory may have grown during the call: views are taken after it.
            const words = wasm.HEAPU32;
            const songs = words[resultPointer >>> 2];
            const count = words[(resultPointer + 4) >>> 2];
            for (let i = 0; i < count; ++i) outputs.push(copyBuffer(wasm, songs + 8 * i));
            wasm._seqconv_free_songs(songs, count);
        } else {
            status = wasm._seqconv_convert(
                inputPointer, input.length, namePointer, promote ? 1 : 0, resultPointer, messagePointer, MESSAGE_SIZE);
            outputs.push(copyBuffer(wasm, resultPointer));
            wasm._seqconv_free(resultPointer);
        }
        return {
            status,
            format,
            message: cString(wasm, messagePointer),
            outputs: outputs.filter((bytes) => bytes.length > 0),
        };
    } finally {
        for (const pointer of [inputPointer, namePointer, resultPointer, messagePointer]) wasm._free(pointer);
    }
}

// The bytes of the seqconv_buffer at `pointer`, copied out of the module's
// memory.
function copyBuffer(wasm, pointer) {
    const data = wasm.HEAPU32[pointer >>> 2];
    const size = wasm.HEAPU32[(pointer + 4) >>> 2];
    return wasm.HEAPU8.slice(data, data + size);
}

// The NUL-terminated UTF-8 text at `pointer`.
function cString(wasm, pointer) {
    const bytes = wasm.HEAPU8;
    let end = pointer;
    while (bytes[end] !== 0) ++end;
    return new TextDecoder().decode(bytes.subarray(pointer, end));
}

if (typeof module === 'object') {
    module.exports = {seqconvConvert, SEQCONV_OK, SEQCONV_DAMAGED, SEQCONV_UNRECOGNISED, SEQCONV_ERROR};
}
