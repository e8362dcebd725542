import {launchChromium, servePage, program, run, temporaryFolder, root} from '/work/wt/synth/web/tests/support.mjs';
import fs from 'node:fs'; import path from 'node:path';
const work = temporaryFolder(); fs.cpSync(path.join(root, 'examples'), work, {recursive: true});
run(program, ['minuet.mid'], work);
const bytes = [...fs.readFileSync(path.join(work, 'minuet.mid.mid'))];
const server = await servePage(); const browser = await launchChromium(); const page = await browser.newPage();
await page.goto(`http://127.0.0.1:${server.address().port}/`);
for (const sampleRate of [22050, 44100]) {
  const r = await page.evaluate(async ({bytes, sampleRate}) => { const song = readSong(new Uint8Array(bytes)); const times = [];
    for (let i = 0; i < 3; ++i) { const t = performance.now(); await renderSong(song, {sampleRate}); times.push(performance.now() - t); } return {times, seconds: song.seconds}; }, {bytes, sampleRate});
  console.log(sampleRate, JSON.stringify(r));
}
await browser.close(); server.close();
