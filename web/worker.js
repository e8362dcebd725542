// The page's converter, off its main thread so that the page answers while a
// batch converts. The build joins the WebAssembly module's script
// (createSeqconv), convert.js, smf.js and zip.js before this into one classic
// script, which the page starts from a Blob: a page opened from file:// may
// neither start a worker from a file nor fetch one.
//
// A message in: { id, name, input (ArrayBuffer), promote, split }.
// A message out: { id, status, format, message, outputs }, each output
// { bytes (ArrayBuffer, handed over), crc, summary } (see smfSummary); or
// { id, failure } when the module could not start.

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
    let result;
    try {
        result = seqconvConvert(wasm, new Uint8Array(job.input), job.name, job.promote, job.split);
    } catch (error) {
        // The module stopped (a trap, say) and is of no further use: the file
        // is reported, and the next one gets a new module.
        seqconvReady = createSeqconv();
        self.postMessage({id: job.id, status: SEQCONV_ERROR, format: null, message: String(error), outputs: []});
        return;
    }
    const outputs =
        result.outputs.map((bytes) => ({bytes: bytes.buffer, crc: crc32(bytes), summary: smfSummary(bytes)}));
    self.postMessage(
        {id: job.id, status: result.status, format: result.format, message: result.message, outputs},
        outputs.map((output) => output.bytes));
};
