// The page: takes files (picked, or dropped with their folders), has the
// worker convert them one after the other, lists each with its result and
// offers the MIDI files, one by one or all in one zip archive. Nothing is
// sent anywhere; the files are read and written in the browser. What it
// tells of a file is the library's account of it (convert.js, song.js): the
// status codes are convert.js's, the words and the songs song.js's.

'use strict';

// Files handed to the worker and not answered yet. The browser takes some
// milliseconds to read even a small file, so several are read at once while
// the worker converts them in turn; the number bounds what is held in memory.
const IN_FLIGHT = 8;

const elements = {
    drop: document.getElementById('drop'),
    files: document.getElementById('files'),
    folder: document.getElementById('folder'),
    promote: document.getElementById('promote'),
    split: document.getElementById('split'),
    form0: document.getElementById('form0'),
    loops: [...document.querySelectorAll('input[name="loops"]')],
    passes: document.getElementById('passes'),
    fade: document.getElementById('fade'),
    whole: document.getElementById('whole'),
    status: document.getElementById('status'),
    zip: document.getElementById('zip'),
    clear: document.getElementById('clear'),
    results: document.getElementById('results'),
    rows: document.querySelector('#results tbody'),
};

// The worker runs from a Blob of its source, which loads from file:// too.
const worker = new Worker(URL.createObjectURL(new Blob([`(${seqconvWorker})();`], {type: 'text/javascript'})));

// Every input listed: { file, path, row, result }, `path` the name with its
// folders ("music/intro.xmi"), `result` null until converted, then the
// worker's answer (seqconvConvert's report) with `songs`, the facts of each
// output, and `outputs`, each { name, zipName, blob, url, crc, facts }.
let inputs = [];
// Inputs waiting to be handed to the worker, and jobs it has not answered.
let queue = [];
const jobs = new Map();
let nextJob = 1;
let inFlight = 0;
// Inputs with their result.
let done = 0;
// Raised whenever the list is cleared or converted again: answers to older
// jobs are dropped.
let generation = 0;

// Requests for a file's timed events, by id: the function that takes the
// answer.
const eventRequests = new Map();

worker.onmessage = (event) => {
    const answer = event.data;
    const request = eventRequests.get(answer.id);
    if (request) {
        eventRequests.delete(answer.id);
        request(answer.failure ? null : answer.timed);
    } else if (answer.failure) {
        finish(answer.id, failed(`The converter could not start: ${answer.failure}`));
    } else if (answer.status === SEQCONV_ERROR) {
        // The core's reason, worded as the program words it.
        finish(answer.id, failed(`Error while converting: ${answer.message}`));
    } else {
        finish(answer.id, answer);
    }
};

// Takes the answer to a job, shows it unless the list changed meanwhile, and
// hands the worker the next file.
function finish(id, answer) {
    const job = jobs.get(id);
    jobs.delete(id);
    --inFlight;
    if (job.generation === generation) {
        job.input.result = withDownloads(job.input, answer);
        ++done;
        showResult(job.input);
    }
    pump();
}

// An answer with nothing converted and `message` to show.
function failed(message) {
    return {status: SEQCONV_ERROR, format: null, resembles: null, fault: null, message, songs: [], outputs: []};
}

// The options of the conversion as the page's controls set them, for
// seqconvConvert: the numbers kept within their bounds (1 to 1000 passes, a
// fade of 0 to 3600 s, to the millisecond) and written back so.
function chosenOptions() {
    const mode = elements.loops.find((radio) => radio.checked)?.value ?? 'file';
    const bounded = (input, least, most, fallback) => {
        const value = input.valueAsNumber;
        const kept = Number.isFinite(value) ? Math.min(most, Math.max(least, value)) : fallback;
        if (kept !== value) input.valueAsNumber = kept;
        return kept;
    };
    const passes = Math.round(bounded(elements.passes, 1, 1000, 2));
    const fade = Math.round(bounded(elements.fade, 0, 3600, 10) * 1000);
    return {
        promote: elements.promote.checked,
        split: elements.split.checked,
        form0: elements.form0.checked,
        loops: mode === 'play' ? passes : 0,
        fadeMilliseconds: mode === 'play' ? fade : 0,
        markLoops: mode === 'mark',
        whole: mode !== 'file' && elements.whole.checked,
    };
}

// The options every file of the list is converted with.
let conversionOptions = chosenOptions();

// One of the options changed: promotion and one track exclude each other,
// and a song loops whole only where its loops are marked or played out. A
// change that alters the conversion converts the list again.
function optionsChanged() {
    elements.form0.disabled = elements.promote.checked;
    elements.promote.disabled = elements.form0.checked;
    elements.whole.disabled = elements.loops.some((radio) => radio.checked && radio.value === 'file');
    const chosen = chosenOptions();
    if (JSON.stringify(chosen) === JSON.stringify(conversionOptions)) return;
    conversionOptions = chosen;
    convertAgain();
}

// Hands the worker more files while it has room.
function pump() {
    while (inFlight < IN_FLIGHT && queue.length > 0) {
        const input = queue.shift();
        const id = nextJob++;
        jobs.set(id, {input, generation});
        ++inFlight;
        // A file that vanished or changed after it was picked cannot be read.
        input.file.arrayBuffer().then(
            (bytes) => worker.postMessage({id, name: input.path, input: bytes, options: conversionOptions}, [bytes]),
            () => finish(id, failed(`Unable to read input file: ${input.path}`)));
    }
    showProgress();
}

// The worker's answer with its files named as the program names them and
// ready to download: NAME.mid, or NAME.1.mid, NAME.2.mid… for the songs of a
// split file.
function withDownloads(input, answer) {
    const base = input.path.slice(input.path.lastIndexOf('/') + 1);
    const outputs = answer.outputs.map((output, i) => {
        const blob = new Blob([output.bytes], {type: 'audio/midi'});
        const suffix = answer.outputs.length > 1 ? `.${i + 1}.mid` : '.mid';
        return {
            name: base + suffix,
            zipName: input.path + suffix,
            blob,
            url: URL.createObjectURL(blob),
            crc: output.crc,
            facts: output.facts
        };
    });
    return {...answer, songs: outputs.map((output) => output.facts), outputs};
}

function addInputs(found) {
    if (found.length === 0) return;
    found.sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
    const fragment = document.createDocumentFragment();
    for (const {file, path} of found) {
        const input = {file, path, row: document.createElement('tr'), result: null};
        fragment.append(input.row);
        showResult(input);
        inputs.push(input);
        queue.push(input);
    }
    elements.rows.append(fragment);
    elements.results.hidden = false;
    pump();
}

// Converts the whole list again, with the options as they are now.
function convertAgain() {
    ++generation;
    done = 0;
    for (const input of inputs) {
        forgetResult(input);
        showResult(input);
    }
    queue = [...inputs];
    pump();
}

function clearList() {
    ++generation;
    done = 0;
    inputs.forEach(forgetResult);
    inputs = [];
    queue = [];
    elements.rows.replaceChildren();
    elements.results.hidden = true;
    showProgress();
}

function forgetResult(input) {
    for (const output of input.result?.outputs ?? []) {
        if (playing?.output === output) stopPlaying();
        if (output.view) rollWatcher.unobserve(output.view.roll);
        URL.revokeObjectURL(output.url);
    }
    input.result = null;
}

// One row: the file, what became of it, its MIDI files, each with a Play
// button and a piano roll, drawn once it scrolls into view.
function showResult(input) {
    const name = cell('th', input.path);
    name.scope = 'row';
    const text = cell('td', describeResult(input.result));
    const downloads = cell('td', '');
    for (const output of input.result?.outputs ?? []) {
        const link = document.createElement('a');
        link.href = output.url;
        link.download = output.name;
        link.textContent = output.name;
        const play = document.createElement('button');
        play.type = 'button';
        play.className = 'play';
        play.textContent = 'Play';
        play.addEventListener('click', () => (playing?.output === output ? stopPlaying() : startPlaying(output, 0)));
        const line = document.createElement('div');
        line.className = 'song-line';
        line.append(play, ' ', link);
        // A split file's songs are form 0 files of one track each.
        if (input.result.outputs.length > 1) line.append(` (${describeLength(output.facts)}${describeLoop(output.facts)})`);
        output.view = {play, roll: document.createElement('div'), canvas: null, cursor: null};
        output.view.roll.className = 'roll';
        output.view.roll.output = output;
        rollWatcher.observe(output.view.roll);
        downloads.append(line, output.view.roll);
    }
    input.row.className = rowClass(input.result);
    input.row.replaceChildren(name, text, downloads);
}

// The piano rolls: a canvas only for the rolls in view (with a margin), so
// that a list of thousands holds a handful; the song from the channel
// messages the library reads out of the MIDI file's bytes, the bytes the
// user downloads, and kept while its roll is in view or it plays.
const rollWatcher = new IntersectionObserver((entries) => {
    for (const entry of entries) {
        const output = entry.target.output;
        if (entry.isIntersecting) showRoll(output);
        else hideRoll(output);
    }
}, {rootMargin: '200px 0px'});

// The song of an output (songFromEvents), asked of the worker once while it
// is kept: a Promise of the song, or of null when there is none to play.
function songOf(output) {
    output.songPromise ??= output.blob.arrayBuffer().then((bytes) => new Promise((resolve) => {
        const id = nextJob++;
        eventRequests.set(id, resolve);
        worker.postMessage({id, events: bytes}, [bytes]);
    })).then((timed) => {
        const song = songFromEvents(timed);
        // Let go meanwhile: what was asked is not kept.
        if (output.songPromise !== null) output.song = song;
        return song;
    });
    return output.songPromise;
}

async function showRoll(output) {
    const view = output.view;
    if (view.canvas) return;
    const canvas = document.createElement('canvas');
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', `piano roll of ${output.name}`);
    canvas.title = 'Click to play from here';
    canvas.addEventListener('click', (event) => {
        if (output.song) startPlaying(output, rollTimeAt(canvas, output.song, event.clientX));
    });
    const cursor = document.createElement('div');
    cursor.className = 'cursor';
    cursor.hidden = playing?.output !== output;
    view.canvas = canvas;
    view.cursor = cursor;
    view.roll.replaceChildren(canvas, cursor);
    const song = await songOf(output);
    if (view.canvas !== canvas) return;  // scrolled away meanwhile
    if (song) drawRoll(canvas, song, output.facts);
    else canvas.dataset.notes = '0';
}

function hideRoll(output) {
    const view = output.view;
    if (!view.canvas || playing?.output === output) return;
    view.roll.replaceChildren();
    view.canvas = null;
    view.cursor = null;
    output.song = null;
    output.songPromise = null;
}

// The one song playing: { output, player }. Starting another stops it.
let playing = null;
let audio = null;

async function startPlaying(output, from) {
    stopPlaying();
    const song = await songOf(output);
    if (!song || song.seconds <= 0) return;
    audio ??= new AudioContext();
    await audio.resume();
    stopPlaying();  // another song may have started while this one was read
    // It loops as the game loops it, on its main loop, until stopped.
    const player = new SongPlayer(audio, song, {loop: mainLoopOf(output.facts)});
    playing = {output, player};
    player.onended = () => {
        if (playing?.player === player) stopPlaying();
    };
    player.start(from);
    output.view.play.textContent = 'Stop';
    output.view.play.setAttribute('aria-pressed', 'true');
    const moveCursor = () => {
        if (playing?.player !== player) return;
        const {canvas, cursor} = output.view;
        if (canvas && cursor) {
            cursor.hidden = false;
            cursor.style.left = `${(player.position() / song.seconds) * canvas.clientWidth}px`;
        }
        requestAnimationFrame(moveCursor);
    };
    requestAnimationFrame(moveCursor);
}

function stopPlaying() {
    if (!playing) return;
    const {output, player} = playing;
    playing = null;
    player.stop();
    output.view.play.textContent = 'Play';
    output.view.play.setAttribute('aria-pressed', 'false');
    if (output.view.cursor) output.view.cursor.hidden = true;
}

function cell(tag, text) {
    const element = document.createElement(tag);
    element.textContent = text;
    return element;
}

function rowClass(result) {
    if (result === null) return 'waiting';
    if (result.status === SEQCONV_ERROR) return 'error';
    return result.outputs.length > 0 ? 'converted' : 'nothing';
}

function showProgress() {
    const pending = inputs.length - done;
    document.body.dataset.pending = String(pending);
    elements.clear.disabled = inputs.length === 0;
    elements.zip.disabled = true;
    if (inputs.length === 0) {
        elements.status.textContent = 'No files yet.';
    } else if (pending > 0) {
        elements.status.textContent = `Converting: ${done} of ${inputs.length} files done…`;
    } else {
        const count = (what) => inputs.filter((input) => rowClass(input.result) === what).length;
        const converted = count('converted');
        elements.zip.disabled = converted === 0;
        elements.status.textContent = `${plural(inputs.length, 'file')}: ${converted} converted, ` +
            `${count('nothing')} not recognised or empty, ${plural(count('error'), 'error')}.`;
    }
}

function plural(count, noun) { return `${count} ${noun}${count === 1 ? '' : 's'}`; }

// Every MIDI file of the list in one archive, under the names with their
// folders; a name met again gets " (2)", " (3)"… before ".mid".
function downloadZip() {
    const entries = [];
    const taken = new Set();
    for (const input of inputs) {
        for (const output of input.result?.outputs ?? []) {
            let name = output.zipName;
            for (let n = 2; taken.has(name); ++n) name = `${output.zipName.slice(0, -4)} (${n}).mid`;
            taken.add(name);
            entries.push({name, data: output.blob, size: output.blob.size, crc: output.crc});
        }
    }
    let blob;
    try {
        blob = new Blob(zipParts(entries), {type: 'application/zip'});
    } catch (error) {
        elements.status.textContent = `No zip archive: ${error.message}.`;
        return;
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = 'seqconv-midi.zip';
    link.click();
    // The download has its own hold on the Blob by the time this runs.
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// Files dropped: folders are walked, each file named with its folders.
// The entries must be taken while the drop event lasts.
async function droppedFiles(dataTransfer) {
    const entries = [...dataTransfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
    if (entries.length === 0) return [...dataTransfer.files].map((file) => ({file, path: file.name}));
    const found = [];
    const walk = async (entry) => {
        if (entry.isFile) {
            const file = await new Promise((resolve, reject) => entry.file(resolve, reject)).catch(() => null);
            if (file) found.push({file, path: entry.fullPath.replace(/^\//, '')});
        } else if (entry.isDirectory) {
            const reader = entry.createReader();
            // A folder is read in batches until an empty one.
            for (;;) {
                const batch =
                    await new Promise((resolve, reject) => reader.readEntries(resolve, reject)).catch(() => []);
                if (batch.length === 0) break;
                for (const child of batch) await walk(child);
            }
        }
    };
    for (const entry of entries) await walk(entry);
    return found;
}

function picked(input) {
    const found = [...input.files].map((file) => ({file, path: file.webkitRelativePath || file.name}));
    input.value = '';  // the same files may be picked again
    addInputs(found);
}

elements.files.addEventListener('change', () => picked(elements.files));
elements.folder.addEventListener('change', () => picked(elements.folder));
for (const control of [elements.promote, elements.split, elements.form0, elements.whole, ...elements.loops])
    control.addEventListener('change', optionsChanged);
// A number typed is a play-out asked for.
for (const number of [elements.passes, elements.fade]) {
    number.addEventListener('change', () => {
        elements.loops.find((radio) => radio.value === 'play').checked = true;
        optionsChanged();
    });
}
optionsChanged();
elements.clear.addEventListener('click', clearList);
elements.zip.addEventListener('click', downloadZip);

// Files may be dropped anywhere on the page; the browser would otherwise open
// them in place of it.
document.addEventListener('dragover', (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
    elements.drop.classList.add('over');
});
document.addEventListener('dragleave', (event) => {
    if (event.relatedTarget === null) elements.drop.classList.remove('over');
});
document.addEventListener('drop', (event) => {
    event.preventDefault();
    elements.drop.classList.remove('over');
    droppedFiles(event.dataTransfer).then(addInputs);
});
