// What the page tells and draws of a converted file, all of it from the
// library's account: the words of its result (from the report that
// seqconvConvert in convert.js gives), and the song its piano roll draws and
// its player plays, paired here from the channel messages the library reads
// back out of the file (seqconvSongEvents). A classic script loaded by the
// page; Node loads it with require for the tests.

'use strict';

// The song as the page draws and plays it, from `timed`, the file's channel
// messages in time order as parallel arrays (seqconvSongEvents): `seconds`,
// `track`, `status` (0x80 + 16 x kind + channel), `data1`, `data2`, and
// `end`, the time the file plays to its end. Every time is in seconds from
// the start of the file:
//   notes: { start, end, key, velocity, channel }, one for each note on
//     (velocity above 0) that a later note off, or note on of velocity 0,
//     of its track, channel and key ends (the earliest open one first), in
//     order of their starts;
//   unended: the note ons that nothing ended;
//   controls: { time, channel, status, a, b } of the controllers (B0),
//     program changes (C0) and pitch bends (E0), in time order;
//   seconds: the song's end.
// Null when there is no song to play: the division gives no time, or the
// library did not read the file.
function songFromEvents(timed) {
    if (!timed || timed.end === null || !(timed.end >= 0)) return null;
    const song = {notes: [], unended: 0, controls: [], seconds: timed.end};
    // (track x 16 + channel) x 128 + key: the notes not ended yet, earliest first.
    const open = new Map();
    const count = timed.seconds.length;
    for (let i = 0; i < count; ++i) {
        const time = timed.seconds[i];
        const kind = timed.status[i] & 0xf0;
        const channel = timed.status[i] & 0x0f;
        const [a, b] = [timed.data1[i], timed.data2[i]];
        if (kind === 0x80 || kind === 0x90) {
            const id = (timed.track[i] * 16 + channel) * 128 + a;
            if (kind === 0x90 && b > 0) {
                if (!open.has(id)) open.set(id, []);
                open.get(id).push({start: time, velocity: b});
            } else {
                const started = open.get(id)?.shift();
                if (started) song.notes.push({start: started.start, end: time, key: a, velocity: started.velocity, channel});
            }
        } else if (kind === 0xb0 || kind === 0xc0 || kind === 0xe0) {
            song.controls.push({time, channel, status: kind, a, b});
        }
    }
    for (const starts of open.values()) song.unended += starts.length;
    // Notes were found as they ended; sorted by start, the stable sort keeps
    // notes that start together in the order they ended.
    song.notes.sort((x, y) => x.start - y.start);
    return song;
}

// The words of a converted input for its row: "XMI: form 0, 1 track, 37.5 s,
// loop 12.3 s, for GS", "XMI: 3 songs", with the reader's fault as the
// library words it after it in brackets; "SMF: nothing read, damaged at
// byte ..." when the fault left nothing; "not recognised", and why when the
// input begins as a format's file does. When a song's loops could not be
// played out or marked, the library's reason follows ("; loops left as
// read: ..."). `result` is seqconvConvert's, or null while waiting.
function describeResult(result) {
    if (result === null) return 'converting…';
    if (result.status === SEQCONV_ERROR) return result.message;
    if (result.status === SEQCONV_UNRECOGNISED)
        return result.resembles && result.fault ? `not recognised: ${result.fault.words}` : 'not recognised';
    const fault = result.status === SEQCONV_DAMAGED ? (result.fault?.words ?? 'damaged') : null;
    const songs = result.songs;
    if (songs.length === 0) return `${result.format}: ${fault ? `nothing read, ${fault}` : 'no music read'}`;
    const text = songs.length > 1 ? `${songs.length} songs` : `form ${songs[0].form}, ${describeSong(songs[0])}`;
    const loops = result.loopFault ? `; loops left as read: ${result.loopFault.reason}` : '';
    return `${result.format}: ${text}${fault ? ` (${fault})` : ''}${loops}`;
}

// "3 tracks, 12.5 s, loop 8.0 s, for GM" from a song's facts.
function describeSong(facts) {
    const synth = facts.synth ? `, for ${facts.synth}` : '';
    return `${facts.tracks} track${facts.tracks === 1 ? '' : 's'}, ${describeLength(facts)}${describeLoop(facts)}${synth}`;
}

// ", loop 8.0 s": how long one pass of the song's main loop lasts; "" when
// it has none, or none with a time.
function describeLoop(facts) {
    const loop = mainLoopOf(facts);
    return loop ? `, loop ${(loop.end - loop.start).toFixed(1)} s` : '';
}

// The span { start, end } in seconds of the song's main loop, the one the
// game plays for as long as a level lasts and the page's player follows;
// null when the song has none, or one that takes no time.
function mainLoopOf(facts) {
    const loop = facts?.mainLoop ? facts.loops[0] : null;
    if (!loop || loop.startSeconds === null || loop.endSeconds === null) return null;
    return loop.endSeconds > loop.startSeconds ? {start: loop.startSeconds, end: loop.endSeconds} : null;
}

// How long a song plays, from its facts: "12.5 s", a form 2 file's songs one
// after the other "in all".
function describeLength(facts) {
    if (facts.seconds === null) return 'length unknown';
    return `${facts.seconds.toFixed(1)} s${facts.form === 2 ? ' in all' : ''}`;
}

if (typeof module === 'object')
    module.exports = {songFromEvents, describeResult, describeSong, describeLength, describeLoop, mainLoopOf};
