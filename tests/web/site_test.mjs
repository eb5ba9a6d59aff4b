// SPDX-License-Identifier: GPL-3.0-or-later
// The exported web site in headless Chromium: the sample's index, search,
// entry pages, Morse timing and sound, a hostile delivery file, HTML
// validity, and screenshots of one entry at 1280 and 360 pixels.
//
//   node site_test.mjs --db QORVEX_DB --sample ZEL_LEX.CSV --recordings DIR --shots DIR
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import puppeteer from 'puppeteer-core';
import {HtmlValidate} from 'html-validate';

const args = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const need of ['db', 'sample', 'recordings', 'shots']) {
  if (!args[need]) {
    console.error(`usage: node site_test.mjs --db QORVEX_DB --sample CSV --recordings DIR --shots DIR (missing --${need})`);
    process.exit(2);
  }
}
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

let failures = 0;
function check(ok, what, detail) {
  if (ok) return;
  failures++;
  console.error(`FAIL: ${what}${detail === undefined ? '' : `\n  ${typeof detail === 'string' ? detail : JSON.stringify(detail)}`}`);
}
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qorvex-web-'));
function db(dir, ...rest) {
  return execFileSync(args.db, ['--dir', dir, ...rest], {encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe']});
}
function json(dir, ...rest) {
  try {
    return JSON.parse(db(dir, ...rest));
  } catch (e) {
    if (e.status === 1) return []; // found nothing
    throw e;
  }
}

// A program folder with the recordings beside the lexicon, imported from
// a delivery file, exported to a site.
function site(name, delivery, extraFiles = {}) {
  const dir = path.join(work, name);
  fs.mkdirSync(dir);
  for (const f of fs.readdirSync(args.recordings)) fs.copyFileSync(path.join(args.recordings, f), path.join(dir, f));
  for (const [f, bytes] of Object.entries(extraFiles)) fs.writeFileSync(path.join(dir, f), bytes);
  db(dir, 'import', delivery);
  const out = path.join(work, name + '-site');
  const started = process.hrtime.bigint();
  db(dir, 'export', '--html', out);
  const ms = Number(process.hrtime.bigint() - started) / 1e6;
  console.log(`${name}: exported in ${ms.toFixed(0)} ms`);
  return {dir, out};
}

const sample = site('sample', args.sample);

// Terms, topics, see-also lists, texts, tone names and links that try to
// leave their place. A topic cannot hold ">", a field no ";".
const payloads = [
  '<script>alert(1)</script>',
  '" onmouseover="alert(2)',
  "' onfocus='alert(3)' autofocus x='",
  'javascript:alert(4)',
  '</style><style>*{display:none}</style',
  ']]><svg onload=alert(5)>',
  '<img src=x onerror=alert(6)>',
  'data:text/html,<script>alert(7)</script>',
];
const lines = payloads.map((p, i) => {
  const topic = p.replace(/>/g, '') || 'T';
  const text = `${p} <b>${p}</b><br>http://x/${p} <Ton=${p}>klang</Ton> <Morse>${p}</Morse> ` +
    `<a href="javascript:alert(8)">x</a> <fontcolor=${p}>f <fontsize=${p}>s ` +
    `<Ton=ev"il<x>Ton</Ton> http://y"onmouseover="alert(9)`;
  return `${p.slice(0, 40)} ${i};<${topic}>${text};${payloads.join(', ')}, ${p}`;
});
fs.writeFileSync(path.join(work, 'hostile.csv'), lines.join('\r\n') + '\r\n', 'latin1');
const hostile = site('hostile', path.join(work, 'hostile.csv'), {'ev"il<x': 'RIFF'});

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--allow-file-access-from-files'],
});
const page = await browser.newPage();
const problems = [];
page.on('console', m => { if (m.type() === 'error') problems.push(m.text()); });
page.on('pageerror', e => problems.push(String(e)));
page.on('dialog', d => { problems.push('dialog: ' + d.message()); d.dismiss(); });
const open = async (file, width = 1280) => {
  await page.setViewport({width, height: 900});
  await page.goto(file.startsWith('http') ? file : pathToFileURL(file).href, {waitUntil: 'load'});
};
const entryFiles = dir => fs.readdirSync(path.join(dir, 'e')).map(f => path.join(dir, 'e', f));

try {
  // ---- The index: every entry, in the viewer's tree order ---------------
  await open(path.join(sample.out, 'index.html'));
  const tree = json(sample.dir, 'tree', '--json');
  const trimmed = s => s.replace(/ +$/, '');
  const viewerAll = tree.find(r => r.caption.startsWith('- alle')).children.map(c => trimmed(c.caption));
  const shownAll = await page.evaluate(() => {
    const d = document.querySelector('details[data-group="all"]');
    d.open = true;
    return new Promise(r => setTimeout(() => r([...d.querySelectorAll('ul.list a')].map(a => a.textContent)), 50));
  });
  check(shownAll.length === 210 && same(shownAll, viewerAll), 'the index lists every entry A-Z as the viewer',
    {shown: shownAll.length, viewer: viewerAll.length});
  const viewerGroups = tree.filter(r => !r.caption.startsWith('- ')).map(r => [r.caption, r.children.map(c => trimmed(c.caption))]);
  const shownGroups = await page.evaluate(() => {
    const groups = [...document.querySelectorAll('details[data-group]:not([data-group="all"])')];
    for (const d of groups) d.open = true;
    return new Promise(r => setTimeout(() => r(groups.map(d => [
      d.querySelector('summary').firstChild.textContent.trim(),
      [...d.querySelectorAll('ul.list a')].map(a => a.textContent)])), 50));
  });
  check(same(shownGroups, viewerGroups), 'the topics hold their entries as in the viewer');
  const listed = await page.$$eval('ul.list a', as => as.map(a => a.href));
  check(listed.every(h => fs.existsSync(new URL(h))), 'every listed entry has its page');

  // ---- Search: folded, term else see-also, full text ----------------------
  const terms = hits => hits.map(h => h.term);
  for (const [text, full] of [['ueber', false], ['ueber', true], ['STRASSE', true], ['antenne', false], ['qqqx', true]]) {
    await page.$eval('#full', (box, on) => { box.checked = on; }, full);
    await page.type('#q', text);
    const shown = await page.$$eval('#hits ul a', as => as.map(a => a.textContent));
    const viewer = terms(json(sample.dir, 'search', '--fold', ...(full ? ['--text'] : []), '--json', text));
    check(same(shown, viewer.map(trimmed)), `search "${text}"${full ? ' in the text' : ''} finds what the viewer finds`, {shown, viewer});
    await page.$eval('#q', q => { q.value = ''; });
  }
  check(terms(json(sample.dir, 'search', '--fold', '--json', 'ueber')).length > 0, 'the sample has folded hits for "ueber"');

  // ---- The script's pure parts -------------------------------------------
  const sos = await page.evaluate(() => window.qorvex.morseSchedule('SOS'));
  check(same(sos, [[0, 60], [120, 60], [240, 60], [490, 180], [730, 180], [970, 180], [1340, 60], [1460, 60], [1580, 60]]),
    'morseSchedule("SOS"): dots 60, dashes 180, 60 within, 180 + 10 between characters', sos);
  const odd = await page.evaluate(() => window.qorvex.morseSchedule('e e\u00e4'));
  check(same(odd, [[0, 60], [260, 60]]), 'a blank is its 10 ms pause, a character outside the set nothing', odd);
  const table = JSON.parse(fs.readFileSync(new URL('fold_table.json', import.meta.url), 'utf8'));
  const folded = await page.evaluate(t => t.map(([input]) => window.qorvex.foldText(input)), table);
  const wrong = table.filter(([, want], i) => folded[i] !== want);
  check(table.length > 250 && wrong.length === 0, 'the script folds as FoldText on the whole table', wrong.slice(0, 5));

  // ---- An entry page: its text, see also, neighbours, sound ---------------
  const qGroups = entryFiles(sample.out).find(f => path.basename(f).startsWith('q-gruppen-'));
  await open(qGroups);
  const plain = db(sample.dir, 'lookup', '--plain', 'Q-Gruppen');
  const words = s => s.replace(/\s+/g, ' ').trim();
  const shownText = await page.$eval('.text', t => t.innerText);
  check(words(shownText) === words(plain), 'the entry page shows the text as it reads', {shown: words(shownText).slice(0, 120)});
  const see = await page.$$eval('.see a', as => as.map(a => [a.textContent, a.href]));
  const related = json(sample.dir, 'related', '--json', 'Q-Gruppen').map(r => trimmed(r.term));
  check(see.length > 0 && same(see.map(s => s[0]), related), 'siehe auch in the viewer\'s ranking', {see, related});
  check(see.every(([, href]) => fs.existsSync(new URL(href))), 'every see-also link has its page');
  const neighbours = await page.$$eval('.bar a[rel]', as => as.map(a => a.href));
  check(neighbours.length >= 2 && neighbours.every(h => fs.existsSync(new URL(h))), 'previous and next exist');

  const morse = await page.$('button.m');
  check(morse !== null, 'the entry has Morse words');
  await morse.click();
  const sound = await page.evaluate(() => ({
    state: window.qorvex.audioContext() && window.qorvex.audioContext().state,
    playing: document.querySelector('button.m').classList.contains('playing'),
  }));
  check(sound.state === 'running' && sound.playing, 'a click on a Morse word starts an audio context', sound);
  await morse.click();
  const stopped = await page.$eval('button.m', b => !b.classList.contains('playing'));
  check(stopped, 'a second click stops it');

  // Tone words: their recording copied beside the site.
  const tones = [];
  for (const f of entryFiles(sample.out)) {
    const html = fs.readFileSync(f, 'utf8');
    for (const m of html.matchAll(/data-tone="([^"]*)"/g)) tones.push(path.resolve(path.dirname(f), m[1]));
  }
  check(tones.length >= 5 && tones.every(t => fs.existsSync(t)), 'tone words name copied recordings', tones);
  const toneEntry = entryFiles(sample.out).find(f => fs.readFileSync(f, 'utf8').includes('data-tone'));
  await open(toneEntry);
  await page.click('button.t[data-tone]');
  await new Promise(r => setTimeout(r, 300));
  const tonePlaying = await page.$eval('button.t[data-tone]', b => b.classList.contains('playing'));
  check(tonePlaying, 'a click on a tone word plays its recording');

  // Screenshots, and no sideways scrolling on a phone.
  fs.mkdirSync(args.shots, {recursive: true});
  for (const width of [1280, 360]) {
    await open(qGroups, width);
    await page.screenshot({path: path.join(args.shots, `entry-${width}.png`), fullPage: true});
  }
  await open(path.join(sample.out, 'index.html'), 360);
  await page.type('#q', 'ueber');
  await page.screenshot({path: path.join(args.shots, 'index-360.png'), fullPage: true});
  const wide = [];
  for (const f of [...entryFiles(sample.out), ...entryFiles(hostile.out), path.join(sample.out, 'index.html')]) {
    await open(f, 360);
    if (await page.evaluate(() => document.documentElement.scrollWidth > window.innerWidth)) wide.push(path.basename(f));
  }
  check(wide.length === 0, 'no page scrolls sideways at 360 pixels', wide);

  // ---- The hostile lexicon: nothing injected ------------------------------
  for (const f of [path.join(hostile.out, 'index.html'), ...entryFiles(hostile.out)]) {
    await open(f);
    const found = await page.evaluate(() => {
      const bad = [];
      const own = ['index-data.js', 'qorvex.js'];
      for (const s of document.querySelectorAll('script'))
        if (!own.some(o => s.getAttribute('src') === o || s.getAttribute('src') === '../' + o)) bad.push('script ' + s.outerHTML);
      for (const el of document.querySelectorAll('*')) {
        if (['STYLE', 'IMG', 'SVG', 'IFRAME', 'OBJECT', 'EMBED', 'FORM', 'BASE', 'svg'].includes(el.tagName)) bad.push('element ' + el.tagName);
        for (const a of el.attributes) {
          if (/^on/i.test(a.name) || a.name === 'style' || a.name === 'autofocus') bad.push(`attribute ${a.name} on ${el.tagName}`);
          if (/^\s*(javascript|data|vbscript):/i.test(a.value)) bad.push(`address ${a.name}=${a.value}`);
        }
      }
      return bad;
    });
    check(found.length === 0, `${path.basename(f)}: no injected element, attribute or address`, found);
  }
  // The payloads are shown as text.
  const firstHostile = entryFiles(hostile.out).find(f => path.basename(f).startsWith('script-alert-1-script-0'));
  await open(firstHostile);
  const title = await page.$eval('h1', h => h.textContent);
  check(title === '<script>alert(1)</script> 0', 'a hostile term is shown as text', title);
  await open(path.join(hostile.out, 'index.html'));
  await page.type('#q', 'onmouseover');
  const hostileHits = await page.$$eval('#hits a', as => as.length);
  check(hostileHits === payloads.length, 'the hostile index searches (every see-also list holds the payloads)', hostileHits);

  // ---- The same site from a web server -----------------------------------
  const types = {'.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.WAV': 'audio/wav'};
  const server = http.createServer((req, res) => {
    const file = path.join(sample.out, decodeURIComponent(new URL(req.url, 'http://x').pathname));
    if (req.url === '/favicon.ico') {
      res.writeHead(204).end(); // the browser asks every server; the site has none
      return;
    }
    if (!file.startsWith(sample.out) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(res);
  });
  await new Promise(r => server.listen(0, '127.0.0.1', r));
  await open(`http://127.0.0.1:${server.address().port}/index.html`);
  await page.type('#q', 'antenne');
  const served = await page.$$eval('#hits a', as => as.length);
  check(served > 0 && served === json(sample.dir, 'search', '--fold', '--json', 'antenne').length, 'the site works from a web server', served);
  server.close();

  check(problems.length === 0, 'no script error, refused resource or dialog on any page', problems.slice(0, 5));

  // ---- Valid HTML ---------------------------------------------------------
  const validator = new HtmlValidate({extends: ['html-validate:recommended']});
  for (const out of [sample.out, hostile.out]) {
    for (const f of [path.join(out, 'index.html'), ...entryFiles(out)]) {
      const report = await validator.validateFile(f);
      if (!report.valid) check(false, `${path.relative(work, f)} is valid HTML`, report.results[0].messages.slice(0, 3).map(m => m.message));
    }
  }
} finally {
  await browser.close();
}

if (failures === 0) fs.rmSync(work, {recursive: true, force: true});
else console.error(`work folder kept: ${work}`);
console.log(failures === 0 ? 'web site: all checks passed' : `web site: ${failures} checks failed`);
process.exit(failures === 0 ? 0 : 1);
