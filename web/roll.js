// The piano roll: a song (songFromEvents in song.js) drawn on a canvas,
// time across in seconds and pitch up, every note a bar from its start to
// its end in its channel's colour. Drums (channel 10, number 9 here) are
// short marks in a lane of their own at the bottom, as their lengths mean
// nothing. The loops the library found in the file, in whatever dialect the
// game's driver marked them, are red spans between two lines, labelled with
// the dialect's name; the song's main loop, the one a game plays for ever
// and the page's player follows, is drawn stronger, with a bar across its
// top and an arrow at its start for the jump back. A classic script, loaded
// by the page.

'use strict';

const ROLL_HEIGHT = 96;       // CSS pixels
const DRUM_LANE = 14;         // the drum lane's height, below the notes
const DRUM_CHANNEL = 9;
const LOOP_COLOUR = '192 57 43';  // red, as r g b
const MAIN_BAR = 4;           // the main loop's bar along the top
const ARROW = 8;              // the arrowhead at its start, as wide as high
const LABEL_TOP = ARROW + 2;  // the labels below both

// A colour for each of the 16 channels, apart from their neighbours.
function channelColour(channel) { return `hsl(${(channel * 137) % 360} 65% 48%)`; }

// Draws `song` on `canvas` at the canvas's width on the page, with the
// loops of `facts` (the library's facts of the file: `loops`, `mainLoop`),
// and returns the number of note bars drawn (drum marks included), which
// the canvas also carries as data-notes, and the loops as data-loops.
function drawRoll(canvas, song, facts) {
    const width = Math.max(1, canvas.clientWidth || canvas.parentElement?.clientWidth || 400);
    const scale = window.devicePixelRatio || 1;
    canvas.width = Math.round(width * scale);
    canvas.height = Math.round(ROLL_HEIGHT * scale);
    canvas.style.height = `${ROLL_HEIGHT}px`;
    const context = canvas.getContext('2d');
    context.setTransform(scale, 0, 0, scale, 0, 0);
    context.clearRect(0, 0, width, ROLL_HEIGHT);

    const seconds = song.seconds > 0 ? song.seconds : 1;
    const x = (time) => (time / seconds) * width;
    const pitched = song.notes.filter((note) => note.channel !== DRUM_CHANNEL);
    const drums = song.notes.length - pitched.length;
    const noteArea = ROLL_HEIGHT - (drums > 0 ? DRUM_LANE + 2 : 0);

    // The keys played, a little apart from the edges.
    let low = 127;
    let high = 0;
    for (const note of pitched) {
        low = Math.min(low, note.key);
        high = Math.max(high, note.key);
    }
    if (low > high) [low, high] = [60, 72];
    low = Math.max(0, low - 2);
    high = Math.min(127, high + 2);
    const rowHeight = noteArea / (high - low + 1);
    const barHeight = Math.max(1, rowHeight * 0.9);

    let drawn = 0;
    for (const note of song.notes) {
        context.fillStyle = channelColour(note.channel);
        if (note.channel === DRUM_CHANNEL) {
            // Kick at the bottom of the lane, cymbals at its top.
            const y = ROLL_HEIGHT - 2 - ((note.key - 35) / 47) * (DRUM_LANE - 3);
            context.fillRect(x(note.start), Math.min(ROLL_HEIGHT - 3, Math.max(noteArea + 2, y)), 1.5, 2);
        } else {
            const y = noteArea - (note.key - low + 1) * rowHeight;
            context.fillRect(x(note.start), y, Math.max(1, x(note.end) - x(note.start)), barHeight);
        }
        ++drawn;
    }
    if (drums > 0) {
        context.fillStyle = 'color-mix(in srgb, currentColor 10%, transparent)';
        context.fillRect(0, noteArea + 1, width, 1);
    }

    const loops = drawLoops(context, facts, x, width);
    canvas.dataset.notes = String(drawn);
    canvas.dataset.loops = String(loops);
    return drawn;
}

// The loops of `facts` with a time: a faint red span from start to end with
// a line at each edge, its label ("markers", "for-next ×3", "emidi, track 2")
// at the top of its start line; the main loop (loops[0] when
// facts.mainLoop) more opaque, with wider lines, a solid bar along its top
// and an arrowhead on that bar at its start, pointing back to where the
// song jumps. `x` maps seconds to the canvas. Returns how many were drawn.
function drawLoops(context, facts, x, width) {
    context.font = '10px system-ui, sans-serif';
    context.textBaseline = 'top';
    let drawn = 0;
    (facts?.loops ?? []).forEach((loop, i) => {
        if (loop.startSeconds === null || loop.endSeconds === null) return;
        const main = facts.mainLoop && i === 0;
        const from = Math.min(width - 1, Math.round(x(loop.startSeconds)) + 0.5);
        const to = Math.min(width - 1, Math.round(x(loop.endSeconds)) + 0.5);
        context.fillStyle = `rgb(${LOOP_COLOUR} / ${main ? 0.2 : 0.07})`;
        context.fillRect(from, 0, Math.max(1, to - from), ROLL_HEIGHT);
        context.strokeStyle = `rgb(${LOOP_COLOUR} / ${main ? 1 : 0.6})`;
        context.lineWidth = main ? 2 : 1;
        context.beginPath();
        for (const at of [from, to]) {
            context.moveTo(at, 0);
            context.lineTo(at, ROLL_HEIGHT);
        }
        context.stroke();
        if (main) {
            context.fillStyle = `rgb(${LOOP_COLOUR})`;
            context.fillRect(from, 0, Math.max(1, to - from), MAIN_BAR);
            context.beginPath();
            context.moveTo(from + 1, ARROW / 2);
            context.lineTo(from + 1 + ARROW, 0);
            context.lineTo(from + 1 + ARROW, ARROW);
            context.fill();
        }
        // The name to the right of the start line, or to its left at the end.
        const name = loopLabel(loop);
        const label = context.measureText(name).width;
        context.fillStyle = `rgb(${LOOP_COLOUR})`;
        context.fillText(name, from + 3 + label > width ? from - 3 - label : from + 3, LABEL_TOP + 11 * (drawn % 3));
        ++drawn;
    });
    context.lineWidth = 1;
    return drawn;
}

// "for-next ×3" (3 times in all; no count: for ever), ", track 2" for a
// loop of one track.
function loopLabel(loop) {
    const times = loop.count > 0 ? ` ×${loop.count}` : '';
    return `${loop.dialectName}${times}${loop.track === null ? '' : `, track ${loop.track}`}`;
}
// The song time at a point of the canvas (for starting playback there).
function rollTimeAt(canvas, song, clientX) {
    const box = canvas.getBoundingClientRect();
    return Math.min(song.seconds, Math.max(0, ((clientX - box.left) / Math.max(1, box.width)) * song.seconds));
}
