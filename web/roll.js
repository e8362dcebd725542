// The piano roll: a song (readSong in smf.js) drawn on a canvas, time
// across in seconds and pitch up, every note a bar from its start to its
// end in its channel's colour. Drums (channel 10, number 9 here) are short
// marks in a lane of their own at the bottom, as their lengths mean
// nothing. The loop marks (loopStart, loopEnd; XMI's FOR and NEXT) are
// vertical lines with their names. A classic script, loaded by the page.

'use strict';

const ROLL_HEIGHT = 96;       // CSS pixels
const DRUM_LANE = 14;         // the drum lane's height, below the notes
const DRUM_CHANNEL = 9;
const MARK_COLOUR = '#c0392b';

// A colour for each of the 16 channels, apart from their neighbours.
function channelColour(channel) { return `hsl(${(channel * 137) % 360} 65% 48%)`; }

// Draws `song` on `canvas` at the canvas's width on the page, and returns
// the number of note bars drawn (drum marks included), which the canvas
// also carries as data-notes.
function drawRoll(canvas, song) {
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

    context.font = '10px system-ui, sans-serif';
    context.textBaseline = 'top';
    for (const mark of song.marks) {
        const at = Math.min(width - 1, Math.round(x(mark.time)) + 0.5);
        context.strokeStyle = MARK_COLOUR;
        context.fillStyle = MARK_COLOUR;
        context.beginPath();
        context.moveTo(at, 0);
        context.lineTo(at, ROLL_HEIGHT);
        context.stroke();
        // The name to the right of its line, or to its left at the end.
        const label = context.measureText(mark.name).width;
        context.fillText(mark.name, at + 3 + label > width ? at - 3 - label : at + 3, 1);
    }
    canvas.dataset.notes = String(drawn);
    return drawn;
}

// The song time at a point of the canvas (for starting playback there).
function rollTimeAt(canvas, song, clientX) {
    const box = canvas.getBoundingClientRect();
    return Math.min(song.seconds, Math.max(0, ((clientX - box.left) / Math.max(1, box.width)) * song.seconds));
}
