// SPDX-License-Identifier: GPL-3.0-or-later
// The web site's one script: Morse words played through Web Audio, tone
// words through their recordings, and on the index page the entry tree and
// the search over the index data (index-data.js, loaded before this file).
'use strict';
(function () {
  // Morse as the recordings sound: 600 Hz at 20 words per minute.
  const PITCH = 600;
  const DOT = 60, DASH = 180, ELEMENT_GAP = 60, CHAR_GAP = 180;
  const CHAR_PAUSE = 10; // the viewer's fast mode, after every character
  const RAMP = 5; // raised-cosine edges inside every tone
  const LEVEL = 0.5;
  const CODES = {
    '+': '.-.-.', ',': '--..--', '.': '.-.-.-', '/': '-..-.', '0': '-----', '1': '.----',
    '2': '..---', '3': '...--', '4': '....-', '5': '.....', '6': '-....', '7': '--...',
    '8': '---..', '9': '----.', '=': '-...-', '?': '..--..', 'A': '.-', 'B': '-...',
    'C': '-.-.', 'D': '-..', 'E': '.', 'F': '..-.', 'G': '--.', 'H': '....', 'I': '..',
    'J': '.---', 'K': '-.-', 'L': '.-..', 'M': '--', 'N': '-.', 'O': '---', 'P': '.--.',
    'Q': '--.-', 'R': '.-.', 'S': '...', 'T': '-', 'U': '..-', 'V': '...-', 'W': '.--',
    'X': '-..-', 'Y': '-.--', 'Z': '--..',
  };

  // The tones of a Morse text as [start_ms, length_ms], as the viewer plays
  // it character by character. A character's recording ends with the 180 ms
  // gap between characters and the player then pauses 10 ms: 190 ms from a
  // character's last tone to the next one's first. The blank has no
  // recording, only its 10 ms pause; other characters play nothing at all
  // (a-z count as A-Z).
  function morseSchedule(text) {
    const tones = [];
    let t = 0;
    for (const ch of String(text)) {
      const c = ch >= 'a' && ch <= 'z' ? ch.toUpperCase() : ch;
      if (c === ' ') {
        t += CHAR_PAUSE;
        continue;
      }
      const code = Object.prototype.hasOwnProperty.call(CODES, c) ? CODES[c] : null;
      if (code === null) continue;
      for (let i = 0; i < code.length; i++) {
        if (i > 0) t += ELEMENT_GAP;
        const length = code[i] === '-' ? DASH : DOT;
        tones.push([t, length]);
        t += length;
      }
      t += CHAR_GAP + CHAR_PAUSE;
    }
    return tones;
  }

  // The search's folding, as the lexicon's Windows-1252 text is folded:
  // lower case, no diacritics, æ œ ß as ae oe ss, then "ae" "oe" "ue" read
  // as a o u, left to right without overlap. Characters outside the code
  // page stay as they are (no entry holds them).
  const SPELLED = (function () {
    const map = new Map();
    for (let c = 0x41; c <= 0x5a; c++) map.set(String.fromCharCode(c), String.fromCharCode(c + 32));
    const lower = new Map();
    for (let c = 0xc0; c <= 0xde; c++) if (c !== 0xd7) lower.set(c, c + 0x20);
    const spell = function (code) {
      if (code >= 0xe0 && code <= 0xe5) return 'a';
      if (code === 0xe6) return 'ae';
      if (code === 0xe7) return 'c';
      if (code >= 0xe8 && code <= 0xeb) return 'e';
      if (code >= 0xec && code <= 0xef) return 'i';
      if (code === 0xf1) return 'n';
      if ((code >= 0xf2 && code <= 0xf6) || code === 0xf8) return 'o';
      if (code >= 0xf9 && code <= 0xfc) return 'u';
      if (code === 0xfd || code === 0xff) return 'y';
      if (code === 0xdf) return 'ss';
      return String.fromCharCode(code);
    };
    for (let c = 0xc0; c <= 0xff; c++) map.set(String.fromCharCode(c), spell(lower.get(c) || c));
    for (const [from, to] of [['\u0160', 's'], ['\u0161', 's'], ['\u017d', 'z'], ['\u017e', 'z'],
      ['\u0152', 'oe'], ['\u0153', 'oe'], ['\u0178', 'y']]) map.set(from, to);
    return map;
  })();

  function foldText(text) {
    let out = '';
    let vowel = false;
    for (const ch of String(text)) {
      const spelled = SPELLED.has(ch) ? SPELLED.get(ch) : ch;
      for (const f of spelled) {
        if (f === 'e' && vowel) {
          vowel = false;
          continue;
        }
        out += f;
        vowel = f === 'a' || f === 'o' || f === 'u';
      }
    }
    return out;
  }

  // ---- Sound ----------------------------------------------------------

  let context = null;
  let playing = null; // {button, stop}

  function stopPlaying() {
    if (playing === null) return;
    const p = playing;
    playing = null;
    p.button.classList.remove('playing');
    p.button.setAttribute('aria-pressed', 'false');
    p.stop();
  }

  function started(button, stop) {
    playing = {button: button, stop: stop};
    button.classList.add('playing');
    button.setAttribute('aria-pressed', 'true');
  }

  function raisedCosine(rising) {
    const n = 64;
    const curve = new Float32Array(n);
    for (let i = 0; i < n; i++) {
      const w = 0.5 * (1 - Math.cos(Math.PI * i / (n - 1)));
      curve[i] = LEVEL * (rising ? w : 1 - w);
    }
    return curve;
  }

  function playMorse(button) {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return;
    if (context === null) context = new Context();
    if (context.state === 'suspended') context.resume();
    const tones = morseSchedule(button.dataset.morse || '');
    if (tones.length === 0) return;
    const osc = context.createOscillator();
    osc.frequency.value = PITCH;
    const gain = context.createGain();
    gain.gain.value = 0;
    osc.connect(gain);
    gain.connect(context.destination);
    const t0 = context.currentTime + 0.03;
    const rise = raisedCosine(true), fall = raisedCosine(false);
    for (const [start, length] of tones) {
      const a = t0 + start / 1000, b = a + length / 1000;
      gain.gain.setValueCurveAtTime(rise, a, RAMP / 1000);
      gain.gain.setValueCurveAtTime(fall, b - RAMP / 1000, RAMP / 1000);
    }
    const last = tones[tones.length - 1];
    osc.start(t0);
    osc.stop(t0 + (last[0] + last[1]) / 1000 + 0.01);
    const stop = function () {
      osc.onended = null;
      try { osc.stop(); } catch (e) { /* already stopped */ }
      osc.disconnect();
      gain.disconnect();
    };
    osc.onended = function () { if (playing && playing.stop === stop) stopPlaying(); };
    started(button, stop);
  }

  function playTone(button) {
    const audio = new Audio(button.dataset.tone);
    const stop = function () {
      audio.onended = null;
      audio.pause();
    };
    audio.onended = function () { if (playing && playing.stop === stop) stopPlaying(); };
    started(button, stop);
    audio.play().catch(function () { if (playing && playing.stop === stop) stopPlaying(); });
  }

  // A click on the word that plays stops it; on another word, that one
  // plays instead.
  function onClick(event) {
    const button = event.target.closest('button.m, button.t');
    if (button === null) return;
    const same = playing !== null && playing.button === button;
    stopPlaying();
    if (same) return;
    if (button.classList.contains('m')) playMorse(button);
    else if (button.dataset.tone) playTone(button);
  }

  // ---- Index page -----------------------------------------------------

  // Entries: [file, term, topic index, see-also, folded plain text], in
  // the lexicon's topic-then-term order; tree: the A-Z list and the topic
  // groups as entry numbers in the viewer's order.
  function entryLink(data, i) {
    const e = data.entries[i];
    const li = document.createElement('li');
    const a = document.createElement('a');
    a.href = 'e/' + e[0] + '.html';
    a.textContent = e[1].replace(/ +$/, '');
    li.appendChild(a);
    return li;
  }

  function fillList(data, details) {
    const list = details.querySelector('ul.list');
    if (list === null || list.dataset.filled) return;
    const group = details.dataset.group;
    const members = group === 'all' ? data.tree.all : data.tree.groups[Number(group)][1];
    const fragment = document.createDocumentFragment();
    for (const i of members) fragment.appendChild(entryLink(data, i));
    list.appendChild(fragment);
    list.dataset.filled = '1';
  }

  let folded = null; // [term, see-also] of every entry, folded once

  // The viewer's search with folding on: the term or, failing that, the
  // see-also list holds the text, or (full text) the entry's plain text;
  // hits in the entries' order (topic, then term).
  function searchEntries(data, fieldText, fullText) {
    const needle = foldText(Array.from(String(fieldText)).slice(0, 255).join(''));
    if (needle === '') return [];
    if (folded === null) folded = data.entries.map(function (e) { return [foldText(e[1]), foldText(e[3])]; });
    const hits = [];
    for (let i = 0; i < data.entries.length; i++) {
      if (folded[i][0].includes(needle) || folded[i][1].includes(needle) ||
          (fullText && data.entries[i][4].includes(needle))) hits.push(i);
    }
    return hits;
  }

  function showHits(data) {
    const field = document.getElementById('q');
    const full = document.getElementById('full');
    const section = document.getElementById('hits');
    if (!field || !section) return;
    const text = field.value;
    const list = section.querySelector('ul');
    const count = section.querySelector('.hint');
    list.textContent = '';
    if (text === '') {
      section.hidden = true;
      return;
    }
    const hits = searchEntries(data, text, full !== null && full.checked);
    const fragment = document.createDocumentFragment();
    for (const i of hits) {
      const li = entryLink(data, i);
      const topic = document.createElement('span');
      topic.className = 'hit-topic';
      topic.textContent = ' ' + data.topics[data.entries[i][2]];
      li.appendChild(topic);
      fragment.appendChild(li);
    }
    list.appendChild(fragment);
    count.textContent = hits.length === 0 ? 'Keine Eintr\u00e4ge gefunden.'
      : hits.length === 1 ? '1 Eintrag' : hits.length + ' Eintr\u00e4ge';
    section.hidden = false;
  }

  function setUpIndex(data) {
    for (const details of document.querySelectorAll('details[data-group]')) {
      if (details.open) fillList(data, details);
      details.addEventListener('toggle', function () { if (details.open) fillList(data, details); });
    }
    const field = document.getElementById('q');
    const full = document.getElementById('full');
    if (field) field.addEventListener('input', function () { showHits(data); });
    if (full) full.addEventListener('change', function () { showHits(data); });
    const params = new URLSearchParams(window.location.search);
    if (field && params.get('q')) {
      field.value = params.get('q');
      showHits(data);
    }
  }

  window.qorvex = {
    morseSchedule: morseSchedule,
    foldText: foldText,
    searchEntries: function (text, fullText) {
      return window.QORVEX_INDEX ? searchEntries(window.QORVEX_INDEX, text, fullText) : [];
    },
    audioContext: function () { return context; },
  };

  function start() {
    document.documentElement.classList.remove('nojs');
    document.documentElement.classList.add('js');
    document.addEventListener('click', onClick);
    if (window.QORVEX_INDEX && document.body.classList.contains('index')) setUpIndex(window.QORVEX_INDEX);
  }
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
