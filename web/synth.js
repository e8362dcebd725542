// The page's synthesiser and player: a song as songFromEvents (song.js)
// gives it, times in seconds, played through the Web Audio API by a small
// synthesiser written here, with no sound bank to fetch. A classic script: its top-level names
// are the page's globals.
//
// The graph stays small whatever the song: each channel has a gain (volume
// and expression) and a stereo panner, and a constant source whose value is
// the channel's pitch bend in cents, wired into the detune of every
// oscillator that channel sounds, so a bend reaches the voices already
// sounding. The channels meet in a master gain and a compressor, which keeps
// dense passages from clipping.
//
// The scheduler looks ahead: every ~50 ms (a setTimeout) it hands the audio
// clock the events of the next 200 ms, each at its exact time. Timers are
// late by tens of milliseconds, the audio clock is not; the window is wider
// than a timer's lateness, and only its events become nodes, so a song of
// thousands of notes costs no more than its busiest 200 ms. Rendered
// offline, the same loop runs its windows one after another to the end at
// once, since nothing plays until the whole song is scheduled.
//
// A song with a main loop plays as the game plays it: on reaching the
// loop's end it goes back to the loop's start, and on, until stopped. The
// scheduler's windows are in play time, the seconds since the start; each
// pass through the song maps its song times onto play time, and where a
// window crosses the loop's end the next pass begins there, from the loop's
// start. Notes still sounding at the jump end there, as a game's driver
// ends them when it jumps; the channels keep their controllers.

// Only SongPlayer and renderSong become the page's globals: the rest stays
// inside, clear of the names of the page's other scripts.
(() => {
'use strict';

const LOOKAHEAD_SECONDS = 0.2;
const WAKE_MILLISECONDS = 50;
// A real context starts this far behind its clock, so the first window's
// events are not already late.
const START_LEAD_SECONDS = 0.05;
const MAX_VOICES = 48;
// A stolen voice fades out this fast, to end without a click.
const STEAL_FADE_SECONDS = 0.003;
// The compressor looks ahead before it turns the gain down: all that passes
// through it comes out this much later (a fixed 6 ms in the browsers' node).
const COMPRESSOR_DELAY_SECONDS = 0.006;
const DRUM_CHANNEL = 9;
// Plus or minus 2 semitones for the whole bend, in cents.
const BEND_RANGE_CENTS = 200;
// A loop shorter than this is played through once, not followed: passes of
// a few milliseconds would come by the hundred in every window.
const MIN_LOOP_SECONDS = 0.05;

// An oscillator of a timbre: its waveform, its frequency as a multiple of
// the note's, a detune in cents and its share of the mix.
const osc = (type, ratio = 1, level = 1, detune = 0) => ({type, ratio, level, detune});

// The timbres, one for each General MIDI family (program >> 3). Envelopes:
// attack (linear, s), decay (time constant, s) towards sustain (a level
// of the peak; 0 for sounds that die away by themselves), release (time
// constant, s). The filter's cutoff is a multiple of the note's frequency
// that moves from `from` to `to` with time constant `glide`: a pluck opens
// bright and darkens, brass opens slowly.
const TIMBRES = [
    // Piano: a triangle with a little square for the hammer's edge, bright at
    // the strike and darkening; it dies away, faster for high notes.
    {oscillators: [osc('triangle'), osc('square', 1, 0.25)], attack: 0.002, decay: 0.9, sustain: 0, release: 0.08,
     filter: {type: 'lowpass', from: 8, to: 2, glide: 0.3, q: 0.7}, keyDecay: true, level: 1},
    // Chromatic percussion (celesta, vibraphone, marimba, bells): a sine and an
    // inharmonic partial at 3.5 times it, struck and ringing out.
    {oscillators: [osc('sine'), osc('sine', 3.5, 0.3)], attack: 0.001, decay: 0.5, sustain: 0, release: 0.3,
     filter: null, keyDecay: true, level: 1},
    // Organ: three drawbars (the foot, its octave, its twelfth), held flat.
    {oscillators: [osc('sine'), osc('sine', 2, 0.5), osc('sine', 3, 0.25)], attack: 0.004, decay: 0.1, sustain: 1,
     release: 0.03, filter: null, level: 0.8},
    // Guitar: a sawtooth plucked through a closing low-pass.
    {oscillators: [osc('sawtooth')], attack: 0.002, decay: 0.6, sustain: 0.05, release: 0.1,
     filter: {type: 'lowpass', from: 10, to: 1.5, glide: 0.15, q: 1.5}, keyDecay: true, level: 0.8},
    // Bass: a sawtooth over a sine an octave down, dark, with a short thump.
    {oscillators: [osc('sawtooth', 1, 0.6), osc('sine', 0.5, 1)], attack: 0.004, decay: 0.4, sustain: 0.5,
     release: 0.05, filter: {type: 'lowpass', from: 6, to: 2.5, glide: 0.08, q: 2}, level: 1},
    // Strings: two sawtooths a few cents apart, bowed in slowly.
    {oscillators: [osc('sawtooth', 1, 0.6, -6), osc('sawtooth', 1, 0.6, 6)], attack: 0.08, decay: 0.3, sustain: 0.9,
     release: 0.2, filter: {type: 'lowpass', from: 5, to: 4, glide: 0.2, q: 0.7}, level: 0.6},
    // Ensemble (string sections, choirs): three detuned sawtooths, softer
    // and slower still.
    {oscillators: [osc('sawtooth', 1, 0.5, -10), osc('sawtooth', 1, 0.5), osc('sawtooth', 1, 0.5, 10)],
     attack: 0.15, decay: 0.3, sustain: 0.9, release: 0.3,
     filter: {type: 'lowpass', from: 3, to: 3, glide: 0.1, q: 0.7}, level: 0.5},
    // Brass: a sawtooth whose filter opens as the player blows.
    {oscillators: [osc('sawtooth')], attack: 0.03, decay: 0.2, sustain: 0.8, release: 0.08,
     filter: {type: 'lowpass', from: 1.5, to: 6, glide: 0.06, q: 1.2}, level: 0.7},
    // Reed: a square (a clarinet's odd harmonics) through a gentle low-pass.
    {oscillators: [osc('square')], attack: 0.02, decay: 0.2, sustain: 0.9, release: 0.06,
     filter: {type: 'lowpass', from: 4, to: 3, glide: 0.1, q: 1}, level: 0.6},
    // Pipe (flutes, recorders): a sine with a breath of triangle an octave up.
    {oscillators: [osc('sine'), osc('triangle', 2, 0.15)], attack: 0.04, decay: 0.2, sustain: 0.9, release: 0.08,
     filter: null, level: 1},
    // Synth lead: a square and a sawtooth slightly apart, bright.
    {oscillators: [osc('square', 1, 0.5), osc('sawtooth', 1, 0.5, 8)], attack: 0.005, decay: 0.2, sustain: 0.85,
     release: 0.05, filter: {type: 'lowpass', from: 8, to: 6, glide: 0.1, q: 2}, level: 0.6},
    // Synth pad: wide detuned sawtooths swelling behind a dark filter.
    {oscillators: [osc('sawtooth', 1, 0.5, -12), osc('sawtooth', 1, 0.5, 12)], attack: 0.3, decay: 0.5, sustain: 1,
     release: 0.5, filter: {type: 'lowpass', from: 1.5, to: 2.5, glide: 0.4, q: 1}, level: 0.6},
    // Synth effects: a sawtooth and a square a fifth above, through a
    // resonant band-pass.
    {oscillators: [osc('sawtooth', 1, 0.6), osc('square', 1.5, 0.4)], attack: 0.1, decay: 0.4, sustain: 0.7,
     release: 0.6, filter: {type: 'bandpass', from: 6, to: 2, glide: 0.5, q: 4}, level: 2},
    // Ethnic (sitar, banjo, koto, kalimba): a buzzing pluck, square and
    // sawtooth through a band-pass.
    {oscillators: [osc('square', 1, 0.5), osc('sawtooth', 2, 0.3)], attack: 0.002, decay: 0.4, sustain: 0,
     release: 0.1, filter: {type: 'bandpass', from: 6, to: 3, glide: 0.1, q: 3}, keyDecay: true, level: 2},
    // Percussive (agogo, steel drums, taiko, melodic toms): a sine and an
    // inharmonic partial at 2.76, struck short.
    {oscillators: [osc('sine'), osc('sine', 2.76, 0.4)], attack: 0.001, decay: 0.2, sustain: 0, release: 0.08,
     filter: null, level: 1},
    // Sound effects (breath, seashore, helicopter, applause): noise through
    // a band-pass at the note, with a faint sine for its pitch.
    {oscillators: [osc('noise', 1, 1), osc('sine', 1, 0.2)], attack: 0.05, decay: 0.3, sustain: 0.6, release: 0.3,
     filter: {type: 'bandpass', from: 2, to: 1, glide: 0.3, q: 2}, level: 1.2},
];

// The drums of channel 10, by key of the General MIDI drum map. `tone`: a
// sine from `from` Hz sliding to `to` in `glide` s; `noise`: filtered noise.
// Each dies away in `decay` s (a time constant) whatever the note off says:
// a drum is struck, not held.
function drumOf(key) {
    const tom = (hz) => ({tone: {from: hz * 1.6, to: hz, glide: 0.05, level: 1}, noise: null, decay: 0.12});
    if (key === 35 || key === 36) return {tone: {from: 150, to: 45, glide: 0.04, level: 1.4}, noise: null, decay: 0.15};
    if (key === 37) return {tone: null, noise: {type: 'bandpass', hz: 2000, q: 2, level: 0.7}, decay: 0.03};
    if (key === 38 || key === 40)
        return {tone: {from: 240, to: 180, glide: 0.02, level: 0.6}, noise: {type: 'highpass', hz: 1500, q: 0.7, level: 0.9},
                decay: 0.07};
    if (key === 39) return {tone: null, noise: {type: 'bandpass', hz: 1200, q: 1, level: 1}, decay: 0.05};
    if ([41, 43, 45, 47, 48, 50].includes(key)) return tom(80 + (key - 41) * 12);
    if (key === 42 || key === 44) return {tone: null, noise: {type: 'highpass', hz: 7000, q: 0.7, level: 1}, decay: 0.02};
    if (key === 46) return {tone: null, noise: {type: 'highpass', hz: 7000, q: 0.7, level: 1}, decay: 0.12};
    if ([49, 52, 55, 57].includes(key))
        return {tone: null, noise: {type: 'highpass', hz: 5000, q: 0.5, level: 0.6}, decay: 0.5};
    if (key === 51 || key === 53 || key === 59)
        return {tone: {from: 3200, to: 3200, glide: 1, level: 0.08}, noise: {type: 'bandpass', hz: 6000, q: 1, level: 0.4},
                decay: 0.3};
    if (key === 56) return {tone: {from: 560, to: 540, glide: 0.01, level: 0.5}, noise: null, decay: 0.06};
    // Bongos, congas, timbales, agogos: hand drums and bells, each its pitch.
    if (key >= 60 && key <= 68) return tom([400, 300, 260, 220, 180, 330, 260, 600, 500][key - 60]);
    if (key === 80 || key === 81) return {tone: {from: 4200, to: 4200, glide: 1, level: 0.5}, noise: null, decay: 0.4};
    // Tambourine, maracas, cabasa, whistles, guiro, claves, wood blocks,
    // cuicas and the rest: a short click of noise.
    return {tone: null, noise: {type: 'bandpass', hz: 3000 + (key % 12) * 300, q: 1.5, level: 1}, decay: 0.04};
}

// One second of white noise per context, made once and shared by every
// drum and effect.
const noiseBuffers = new WeakMap();
function noiseOf(context) {
    let buffer = noiseBuffers.get(context);
    if (!buffer) {
        buffer = context.createBuffer(1, context.sampleRate, context.sampleRate);
        const samples = buffer.getChannelData(0);
        let seed = 0x2545f491;
        for (let i = 0; i < samples.length; ++i) {
            seed ^= seed << 13; seed ^= seed >>> 17; seed ^= seed << 5;  // xorshift: the same noise every time
            samples[i] = (seed >>> 0) / 0x80000000 - 1;
        }
        noiseBuffers.set(context, buffer);
    }
    return buffer;
}

const frequencyOf = (key) => 440 * Math.pow(2, (key - 69) / 12);
// Volume, expression and velocity as the square of their value: about
// 40 log10 of it in decibels, so equal steps sound like equal steps.
const squareLaw = (value) => (value / 127) * (value / 127);

// The time at which each note lets go: its end, or, where the channel's
// sustain pedal (controller 64 at 64 or more) is down then, the moment the
// pedal comes up (the song's end when it never does). A reset of all
// controllers (121) lifts the pedal too.
function releasesOf(song) {
    const pedals = new Map();  // channel: [{time, down}] in time order
    for (const control of song.controls) {
        if (control.status !== 0xb0 || (control.a !== 64 && control.a !== 121)) continue;
        if (!pedals.has(control.channel)) pedals.set(control.channel, []);
        pedals.get(control.channel).push({time: control.time, down: control.a === 64 && control.b >= 64});
    }
    return song.notes.map((note) => {
        const changes = pedals.get(note.channel) ?? [];
        let index = 0;
        while (index < changes.length && changes[index].time <= note.end) ++index;
        if (index === 0 || !changes[index - 1].down) return note.end;
        while (index < changes.length && changes[index].down) ++index;
        return index < changes.length ? changes[index].time : Math.max(song.seconds, note.end);
    });
}

// The first index of `items` (sorted by `key`) at or after `time`.
function firstAtOrAfter(items, key, time) {
    let low = 0;
    let high = items.length;
    while (low < high) {
        const middle = (low + high) >> 1;
        if (items[middle][key] < time) low = middle + 1;
        else high = middle;
    }
    return low;
}

class SongPlayer {
    // `loop`: the song's main loop { start, end } in seconds (mainLoopOf in
    // song.js), followed from its end back to its start; null: the song
    // plays once to its end.
    constructor(context, song, {loop = null, destination = context.destination} = {}) {
        this.context = context;
        this.song = song;
        this.loop = loop;
        this.destination = destination;
        this.releases = releasesOf(song);
        this.offline = typeof OfflineAudioContext === 'function' && context instanceof OfflineAudioContext;
        this.playing = false;
        this.onended = null;
        // The most voices that sounded at once since start().
        this.peakVoices = 0;
        this.session = null;
        this.stoppedAt = 0;
    }

    // Plays from `fromSeconds` of the song: the controllers and programs
    // before it are set at once, the notes that start before it are left out.
    // From before the loop's end the song loops; from past it, it plays on to
    // its end, which the game never reaches.
    start(fromSeconds = 0) {
        if (this.playing) this.stop();
        const context = this.context;
        if (!this.offline && context.state === 'suspended') context.resume();
        const master = context.createGain();
        master.gain.value = 0.8;
        const compressor = context.createDynamicsCompressor();
        compressor.threshold.value = -12;
        compressor.knee.value = 10;
        compressor.ratio.value = 4;
        compressor.attack.value = 0.003;
        compressor.release.value = 0.25;
        master.connect(compressor).connect(this.destination);
        const from = Math.max(0, fromSeconds);
        const loop = this.loop;
        const follows = loop !== null && loop.end - loop.start >= MIN_LOOP_SECONDS && from < loop.end;
        const session = {
            from, master, compressor, strips: new Map(), voices: [], timer: 0,
            loop: follows ? {start: Math.max(0, loop.start), end: loop.end} : null,
            // The pass playing: song time `from` of it plays at play time `play`.
            pass: {play: 0, from},
            origin: context.currentTime + (this.offline ? 0 : START_LEAD_SECONDS),
            // What is heard lags the clock by the compressor and the output.
            latency: COMPRESSOR_DELAY_SECONDS + (this.offline ? 0 : (context.outputLatency || 0)),
            note: firstAtOrAfter(this.song.notes, 'start', from),
            control: firstAtOrAfter(this.song.controls, 'time', from),
            channels: Array.from({length: 16}, () => ({program: 0, volume: 100, expression: 127, pan: 64, bend: 0})),
            finished: false,
        };
        this.session = session;
        this.peakVoices = 0;
        this.playing = true;
        for (let i = 0; i < session.control; ++i) this.control(this.song.controls[i], session.origin, false);
        for (let channel = 0; channel < 16; ++channel) {
            if (session.strips.has(channel)) this.applyStrip(channel, session.origin);
        }
        this.pump();
    }

    // Silences the song at once (a short fade) and lets every node go.
    stop() {
        const session = this.session;
        if (!session || !this.playing) return;
        this.stoppedAt = this.position();
        this.playing = false;
        clearTimeout(session.timer);
        const now = this.context.currentTime;
        session.master.gain.cancelScheduledValues(now);
        session.master.gain.setTargetAtTime(0, now, 0.005);
        for (const voice of session.voices) {
            for (const source of voice.sources) source.stop(now + 0.05);
        }
        setTimeout(() => this.teardown(session), 100);
    }

    // The song's time now, in seconds, as it is heard: back at the loop's
    // start after each pass.
    position() {
        const session = this.session;
        if (!session || !this.playing) return this.stoppedAt;
        return this.songTimeAt(this.heard());
    }

    // The play time heard now: the seconds since the start, as they reach the
    // ear.
    heard() {
        const session = this.session;
        return Math.max(0, this.context.currentTime - session.origin - session.latency);
    }

    // The song time at play time `play`: the first pass runs from the start
    // point to the loop's end, every later one over the loop.
    songTimeAt(play) {
        const {from, loop} = this.session;
        if (loop === null) return Math.min(this.song.seconds, from + play);
        const first = loop.end - from;
        return play < first ? from + play : loop.start + ((play - first) % (loop.end - loop.start));
    }

    // The context's time at song time `time` of the pass playing; never in
    // the past.
    clockAt(time) {
        const {origin, pass} = this.session;
        return Math.max(this.context.currentTime, origin + pass.play + (time - pass.from));
    }

    // Schedules the windows due, then wakes again; offline, every window at
    // once. Calls onended once the song's end has been heard.
    pump() {
        const session = this.session;
        if (!this.playing) return;
        if (this.offline) {
            // A loop plays on to the end of what is rendered.
            const rendered = this.context.length / this.context.sampleRate;
            for (let until = 0; !session.finished && (session.loop === null || until < rendered);)
                this.scheduleWindow(until += LOOKAHEAD_SECONDS);
            if (session.loop !== null) return;
        } else {
            this.scheduleWindow(this.heard() + session.latency + LOOKAHEAD_SECONDS);
        }
        if (session.finished && this.context.currentTime - session.origin - session.latency >= this.song.seconds - session.from) {
            this.playing = false;
            this.stoppedAt = this.song.seconds;
            // The last notes ring out; their nodes go as they end.
            session.done = true;
            if (session.voices.length === 0) this.teardown(session);
            if (this.onended) this.onended();
            return;
        }
        session.timer = setTimeout(() => this.pump(), WAKE_MILLISECONDS);
    }

    // Schedules every event before play time `until`, pass after pass
    // where the window crosses the loop's end.
    scheduleWindow(until) {
        const session = this.session;
        const {notes, controls} = this.song;
        for (;;) {
            const {pass, loop} = session;
            const songUntil = pass.from + (until - pass.play);
            // In a song that loops every note ends at the loop's end at the
            // latest, where the jump back is taken.
            const cut = loop === null ? Infinity : loop.end;
            if (songUntil < cut) {
                this.schedulePass(songUntil, cut);
                break;
            }
            // The events before the loop's end; then the next pass, from the
            // loop's start.
            this.schedulePass(loop.end, cut);
            session.pass = {play: pass.play + (loop.end - pass.from), from: loop.start};
            session.note = firstAtOrAfter(notes, 'start', loop.start);
            session.control = firstAtOrAfter(controls, 'time', loop.start);
        }
        if (session.loop === null && session.note >= notes.length && session.control >= controls.length)
            session.finished = true;
    }

    // Schedules the pass's events before song time `until`, in time order,
    // every note let go by song time `cut` at the latest; at one time
    // controllers and programs go before notes, as a file sends them.
    schedulePass(until, cut) {
        const session = this.session;
        const {notes, controls} = this.song;
        while (true) {
            const control = controls[session.control];
            const note = notes[session.note];
            if (control && control.time < until && (!note || control.time <= note.start)) {
                this.control(control, this.clockAt(control.time), true);
                ++session.control;
            } else if (note && note.start < until) {
                this.noteOn(note, Math.min(cut, this.releases[session.note]));
                ++session.note;
            } else {
                break;
            }
        }
    }

    // A channel's gain, panner and bend source, made when first needed.
    strip(channel) {
        const session = this.session;
        let strip = session.strips.get(channel);
        if (!strip) {
            const context = this.context;
            const gain = context.createGain();
            const panner = context.createStereoPanner();
            const bend = context.createConstantSource();
            bend.offset.value = 0;
            bend.start(session.origin);
            gain.connect(panner).connect(session.master);
            strip = {gain, panner, bend};
            session.strips.set(channel, strip);
            this.applyStrip(channel, this.context.currentTime);
        }
        return strip;
    }

    applyStrip(channel, at) {
        const state = this.session.channels[channel];
        const strip = this.strip(channel);
        strip.gain.gain.setValueAtTime(squareLaw(state.volume) * squareLaw(state.expression), at);
        strip.panner.pan.setValueAtTime(Math.max(-1, Math.min(1, (state.pan - 64) / 63)), at);
        strip.bend.offset.setValueAtTime(state.bend, at);
    }

    // A controller, program change or pitch bend at context time `at`; with
    // `now` false, only the channel's state changes (before the start point).
    control(event, at, now) {
        const state = this.session.channels[event.channel];
        let touches = false;
        if (event.status === 0xc0) {
            state.program = event.a;
        } else if (event.status === 0xe0) {
            state.bend = (((event.b << 7) | event.a) - 8192) * BEND_RANGE_CENTS / 8192;
            touches = true;
        } else if (event.a === 7 || event.a === 10 || event.a === 11) {
            state[{7: 'volume', 10: 'pan', 11: 'expression'}[event.a]] = event.b;
            touches = true;
        } else if (event.a === 121) {
            state.expression = 127;
            state.bend = 0;
            touches = true;
        }
        if (touches) {
            if (now) this.applyStrip(event.channel, at);
            else this.strip(event.channel);
        }
    }

    // Starts a note at its time, released at `release` (song time), taking
    // the oldest voice's place when all are sounding.
    noteOn(note, release) {
        const session = this.session;
        const start = this.clockAt(note.start);
        session.voices = session.voices.filter((voice) => voice.end > start);
        if (session.voices.length >= MAX_VOICES) this.steal(session.voices.shift(), start);
        const strip = this.strip(note.channel);
        const voice = note.channel === DRUM_CHANNEL
                          ? this.drum(note, start, strip)
                          : this.tone(note, start, Math.max(start, this.clockAt(release)), strip);
        voice.channel = note.channel;
        session.voices.push(voice);
        this.peakVoices = Math.max(this.peakVoices, session.voices.length);
        voice.sources[0].onended = () => {
            letGo(voice, strip);
            const index = session.voices.indexOf(voice);
            if (index >= 0) session.voices.splice(index, 1);
            if (session.done && session.voices.length === 0) this.teardown(session);
        };
        for (const source of voice.sources) {
            source.start(start);
            source.stop(voice.end);
        }
    }

    // A melodic voice: the timbre's oscillators, mixed, filtered and shaped by
    // its envelope from `start` to its release at `release`.
    tone(note, start, release, strip) {
        const context = this.context;
        const timbre = TIMBRES[this.session.channels[note.channel].program >> 3];
        const frequency = frequencyOf(note.key);
        const amp = context.createGain();
        const nodes = [amp];
        const sources = [];
        let input = amp;
        if (timbre.filter) {
            const filter = context.createBiquadFilter();
            const {type, from, to, glide, q} = timbre.filter;
            filter.type = type;
            filter.Q.value = q;
            const nyquist = context.sampleRate / 2;
            filter.frequency.setValueAtTime(Math.min(nyquist, frequency * from), start);
            filter.frequency.setTargetAtTime(Math.min(nyquist, frequency * to), start, glide);
            filter.connect(amp);
            nodes.push(filter);
            input = filter;
        }
        for (const part of timbre.oscillators) {
            let source;
            if (part.type === 'noise') {
                source = context.createBufferSource();
                source.buffer = noiseOf(context);
                source.loop = true;
            } else {
                source = context.createOscillator();
                source.type = part.type;
                source.frequency.value = frequency * part.ratio;
                source.detune.value = part.detune;
            }
            strip.bend.connect(source.detune);
            const level = context.createGain();
            level.gain.value = part.level;
            source.connect(level).connect(input);
            sources.push(source);
            nodes.push(source, level);
        }
        // Struck sounds die sooner the higher they are.
        const decay = timbre.keyDecay ? timbre.decay * Math.min(2, Math.sqrt(262 / frequency)) : timbre.decay;
        const peak = squareLaw(note.velocity) * timbre.level * 0.3;
        const envelope = {start, attack: timbre.attack, decay, sustain: timbre.sustain * peak, peak};
        const gain = amp.gain;
        gain.setValueAtTime(0, start);
        const attackEnd = start + timbre.attack;
        if (release <= attackEnd) {
            gain.linearRampToValueAtTime(levelAt(envelope, release), release);
        } else {
            gain.linearRampToValueAtTime(peak, attackEnd);
            gain.setTargetAtTime(envelope.sustain, attackEnd, decay);
            gain.setValueAtTime(levelAt(envelope, release), release);
        }
        gain.setTargetAtTime(0, release, timbre.release);
        // Six time constants leave a quarter of a percent: the end. A sound
        // that dies by itself ends sooner.
        let end = release + 6 * timbre.release;
        if (timbre.sustain === 0) end = Math.min(end, attackEnd + 7 * decay);
        amp.connect(strip.gain);
        return {sources, nodes, amp, envelope, end, start, bent: sources.map((source) => source.detune)};
    }

    // A drum: a sliding sine, filtered noise or both, struck and dying away.
    drum(note, start, strip) {
        const context = this.context;
        const kit = drumOf(note.key);
        const amp = context.createGain();
        const nodes = [amp];
        const sources = [];
        const peak = squareLaw(note.velocity) * 0.35;
        if (kit.tone) {
            const tone = context.createOscillator();
            tone.frequency.setValueAtTime(kit.tone.from, start);
            tone.frequency.setTargetAtTime(kit.tone.to, start, kit.tone.glide);
            const level = context.createGain();
            level.gain.value = kit.tone.level;
            tone.connect(level).connect(amp);
            sources.push(tone);
            nodes.push(tone, level);
        }
        if (kit.noise) {
            const noise = context.createBufferSource();
            noise.buffer = noiseOf(context);
            noise.loop = true;
            const filter = context.createBiquadFilter();
            filter.type = kit.noise.type;
            filter.frequency.value = Math.min(context.sampleRate / 2, kit.noise.hz);
            filter.Q.value = kit.noise.q;
            const level = context.createGain();
            level.gain.value = kit.noise.level;
            noise.connect(filter).connect(level).connect(amp);
            sources.push(noise);
            nodes.push(noise, filter, level);
        }
        const envelope = {start, attack: 0.001, decay: kit.decay, sustain: 0, peak};
        amp.gain.setValueAtTime(0, start);
        amp.gain.linearRampToValueAtTime(peak, start + 0.001);
        amp.gain.setTargetAtTime(0, start + 0.001, kit.decay);
        amp.connect(strip.gain);
        return {sources, nodes, amp, envelope, end: start + 0.001 + 7 * kit.decay, start, bent: []};
    }

    // Cuts a voice short at `at` for a new note.
    steal(voice, at) {
        const gain = voice.amp.gain;
        gain.cancelScheduledValues(at);
        gain.setValueAtTime(levelAt(voice.envelope, at), at);
        gain.linearRampToValueAtTime(0, at + STEAL_FADE_SECONDS);
        voice.end = at + STEAL_FADE_SECONDS;
        for (const source of voice.sources) source.stop(voice.end);
    }

    // Lets every node of a session go.
    teardown(session) {
        for (const voice of session.voices) letGo(voice, session.strips.get(voice.channel));
        session.voices = [];
        for (const strip of session.strips.values()) {
            strip.bend.stop();
            strip.bend.disconnect();
            strip.gain.disconnect();
            strip.panner.disconnect();
        }
        session.strips.clear();
        session.master.disconnect();
        session.compressor.disconnect();
    }
}

// Disconnects a voice that ended: its nodes, and the wire from its channel's
// bend into its oscillators, which would otherwise keep them alive.
function letGo(voice, strip) {
    for (const node of voice.nodes) node.disconnect();
    for (const param of voice.bent) {
        try { strip?.bend.disconnect(param); } catch { /* already gone */ }
    }
    voice.bent = [];
}

// The level of an envelope ({start, attack, decay, sustain, peak}) at
// context time `at`, before its release, as its automation computes it.
function levelAt(envelope, at) {
    const {start, attack, decay, sustain, peak} = envelope;
    if (at <= start) return 0;
    if (at < start + attack) return peak * (at - start) / attack;
    return sustain + (peak - sustain) * Math.exp(-(at - start - attack) / decay);
}

// The song rendered offline from `from` seconds for `seconds` of play
// (to its end when not given), with `tail` seconds after that for the last
// notes to ring out; following `loop` (as SongPlayer does) when given: a
// Promise of a stereo AudioBuffer whose first sample is song time `from`.
// The compressor's delay is rendered past and cut from the front, so every
// sample lies at its play time.
async function renderSong(song, {sampleRate = 22050, from = 0, tail = 1, loop = null, seconds = null} = {}) {
    const delay = Math.round(COMPRESSOR_DELAY_SECONDS * sampleRate);
    const length = Math.max(1, Math.ceil(((seconds ?? song.seconds - from) + tail) * sampleRate));
    const context = new OfflineAudioContext(2, length + delay, sampleRate);
    const player = new SongPlayer(context, song, {loop});
    player.start(from);
    const rendered = await context.startRendering();
    const buffer = new AudioBuffer({numberOfChannels: 2, length, sampleRate});
    for (let channel = 0; channel < 2; ++channel) {
        buffer.copyToChannel(rendered.getChannelData(channel).subarray(delay), channel);
    }
    return buffer;
}

globalThis.SongPlayer = SongPlayer;
globalThis.renderSong = renderSong;
})();
