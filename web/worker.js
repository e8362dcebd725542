// The page's converter, off its main thread so that the page answers while a
// batch converts. The build joins the WebAssembly module's script
// (createSeqconv), convert.js and zip.js before this into one classic
// script, which the page starts from a Blob: a page opened from file:// may
// neither start a worker from a file nor fetch one.
//
// Two kinds of message in, each answered with its `id`:
//   { id, name, input (ArrayBuffer), options }: a file to convert, with
//     seqconvConvert's options; the answer is its report { id, status,
//     format, resembles, fault, facts, looped, loopFault, message } with
//     `outputs`, each { bytes (ArrayBuffer, handed over), crc, facts (the
//     report's facts of that file) };
//   { id, events: bytes (ArrayBuffer) }: a Standard MIDI File whose channel
//     messages the piano roll and the player want; the answer is
//     { id, timed } (seqconvSongEvents), its arrays handed over. The page
//     sends the bytes each time, so the worker keeps nothing between
//     messages, however long the list.
// Either may be answered { id, failure } when the module could not start.

'use strict';

let seqconvReady = createSeqconv();

self.onmessage = async (event) => {
    const job = event.data;
    let wasm;
    try {
        wasm = await seqconvReady;
    } catch (error) {
        self.postMessage({id: job.id, failure: String(error)});
        return;
    }
    try {
        if (job.events) answerEvents(wasm, job);
        else answerConversion(wasm, job);
    } catch (error) {
        // The module stopped (a trap, say) and is of no further use: the job
        // is answered, and the next one gets a new module.
        seqconvReady = createSeqconv();
        if (job.events) self.postMessage({id: job.id, timed: null});
        else self.postMessage({...seqconvFailure(String(error)), id: job.id});
    }
};

function answerConversion(wasm, job) {
    const result = seqconvConvert(wasm, new Uint8Array(job.input), job.name, job.options);
    const outputs = result.outputs.map((bytes, i) => ({bytes: bytes.buffer, crc: crc32(bytes), facts: result.songs[i]}));
    self.postMessage({...result, id: job.id, outputs}, outputs.map((output) => output.bytes));
}

function answerEvents(wasm, job) {
    const timed = seqconvSongEvents(wasm, new Uint8Array(job.events));
    const arrays = [timed.seconds, timed.track, timed.status, timed.data1, timed.data2];
    self.postMessage({id: job.id, timed}, arrays.map((array) => array.buffer));
}
