// The filter's C++ built as WebAssembly (what the VS Code extension runs) against the native
// filter: the same output bytes, exit status and message on the examples, the editors' table
// of documents and cases, and random texts with random arguments.
// Environment: MARQUILL (the native filter), MARQUILL_WASM (the module's build folder).
import assert from 'node:assert/strict';
import { execFile, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

const here = path.dirname(new URL(import.meta.url).pathname);
const tests = path.join(here, '..');
const wasmDir = process.env.MARQUILL_WASM;
const require = createRequire(import.meta.url);
/** A module whose C library has LANG (set before it starts, as the extension sets it). */
const made = (lang) => require(path.join(wasmDir, 'marquill.js'))({
  wasmBinary: fs.readFileSync(path.join(wasmDir, 'marquill.wasm')), print() {}, printErr() {},
  preRun: [(m) => { m.ENV.LANG = lang; }],
});
let module = await made('C.UTF-8');
// One settings file at the same path for both: in memory for the module, on disk for the filter.
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'marquill-engine-'));
const settings = path.join(scratch, 'Marquill_Setting.txt');
fs.copyFileSync(path.join(here, 'Marquill_Setting.txt'), settings);
module.FS.mkdirTree('/io');
module.FS.mkdirTree(scratch);
module.FS.writeFile(settings, fs.readFileSync(settings));
process.on('exit', () => fs.rmSync(scratch, { recursive: true, force: true }));

/** The module's result: status, output bytes and the message as the filter prints it. */
function wasm(args, input) {
  module.FS.writeFile('/io/input', input);
  const bytes = Buffer.from(args.map((a) => `${a}\0`).join(''));
  const pointer = module._malloc(bytes.length);
  module.HEAPU8.set(bytes, pointer);
  const status = module._marquill_run(pointer, bytes.length);
  module._free(pointer);
  const output = Buffer.from(module.FS.readFile('/io/output')); // on failure, what was written before
  let message = '';
  if (status !== 0) {
    const f = JSON.parse(module.UTF8ToString(module._marquill_failure()));
    message = f.place ? `marquill:${f.place}: ${f.message}` : `marquill: ${f.message}`;
  }
  return { status, output, message };
}

/** The native filter's result, in the C locale's English as the module speaks unless given a catalogue. */
function native(args, input, locale = 'C.UTF-8') {
  return new Promise((resolve) => {
    const child = execFile(process.env.MARQUILL, args, { encoding: 'buffer', env: { PATH: process.env.PATH, LC_ALL: locale } },
      (error, stdout, stderr) => {
        const status = error ? error.code : 0;
        resolve({ status, output: stdout, message: stderr.toString('utf8').split('\n')[0] });
      });
    child.stdin.on('error', () => undefined);
    child.stdin.end(input);
  });
}

async function same(args, input, what, locale = undefined) {
  const full = args[0] === 'entries' ? args : [...args, '--stdin-only'];
  const want = await native(full, input, locale);
  const got = wasm(full, input);
  assert.deepEqual({ ...got, output: got.output.toString('latin1') }, { ...want, output: want.output.toString('latin1') },
    `${what}: ${JSON.stringify(full)} on ${JSON.stringify(input.toString('latin1'))}`);
}

/** Runs CASES ([args, input, what]) two at a time. */
async function all(cases) {
  let next = 0;
  const worker = async () => {
    while (next < cases.length) {
      const [args, input, what] = cases[next++];
      await same(args, input, what);
    }
  };
  await Promise.all([worker(), worker()]);
}

const MARKS = { '␣': ' ', '→': '\t', '□': '\u3000' };
const unmark = (text) => text.replace(/[␣→□]/g, (m) => MARKS[m]);

/** A block line of the examples' notation as bytes, with its line end. */
function markedLine(line) {
  const ends = { '¶': '\r\n', '␍': '\r', '∅': '' };
  const last = [...line].pop();
  const body = last in ends ? line.slice(0, -last.length) : line;
  const parts = unmark(body).split(/\\x([0-9A-Fa-f]{2})/);
  const bytes = parts.map((p, i) => (i % 2 ? Buffer.from([parseInt(p, 16)]) : Buffer.from(p, 'utf8')));
  return Buffer.concat([...bytes, Buffer.from(last in ends ? ends[last] : '\n')]);
}

/** Words as a shell splits them: quotes keep blanks, a backslash outside single quotes escapes. */
function words(text) {
  const out = [];
  let word = null;
  let quote = null;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quote === "'" ? c === "'" : quote === '"' ? c === '"' : false) { quote = null; continue; }
    if (!quote && (c === "'" || c === '"')) { quote = c; word ??= ''; continue; }
    if (quote !== "'" && c === '\\') { word = (word ?? '') + text[++i]; continue; }
    if (!quote && c === ' ') { if (word !== null) out.push(word); word = null; continue; }
    word = (word ?? '') + c;
  }
  if (word !== null) out.push(word);
  return out;
}

test('the examples give the same bytes', async () => {
  const cases = [];
  for (const name of fs.readdirSync(path.join(tests, 'examples')).filter((n) => n.endsWith('.example'))) {
    const text = fs.readFileSync(path.join(tests, 'examples', name), 'utf8');
    const sections = text.split(/^== /m);
    const options = sections.shift();
    const paths = /^paths:(.*)$/m.exec(options);
    if (paths && !paths[1].split(/\s+/).includes('filter')) continue;
    const fixed = /^breaks: fixed$/m.test(options);
    let input = Buffer.alloc(0);
    for (const section of sections) {
      const [heading, ...lines] = section.split('\n');
      if (heading === 'end') break;
      const block = Buffer.concat(lines.filter((l, i) => l !== '' || i < lines.length - 1).map(markedLine));
      if (heading === 'input') { input = block; continue; }
      const args = words(heading).map(unmark);
      cases.push([args, input, name]);
      if (!fixed) cases.push([args, Buffer.from(input.toString('latin1').replace(/\r?\n/g, (b) => (b === '\n' ? '\r\n' : '\n')), 'latin1'), `${name} (breaks swapped)`]);
    }
  }
  assert.ok(cases.length > 50, `only ${cases.length} examples found`);
  await all(cases);
});

test('the editors\' documents and cases give the same bytes and messages', async () => {
  const documents = {};
  const cases = [];
  let name = null;
  let rows = null;
  for (const line of fs.readFileSync(path.join(tests, 'editors', 'documents.txt'), 'utf8').split('\n')) {
    if (line.startsWith('== document ')) { name = line.split(' ')[2]; documents[name] = []; rows = null; continue; }
    if (line === '== cases' || line === '== toggled') { name = null; rows = line.slice(3); continue; }
    if (!line || line.startsWith('#')) continue;
    if (name) documents[name].push(markedLine(line));
    else if (rows === 'cases') {
      const [doc, , , , outcome, ...rest] = line.split(/\s+/);
      const argText = line.slice(line.indexOf(outcome) + outcome.length).trim().replace(/^\d+:\d+ /, '');
      cases.push([doc, words(unmark(argText)), rest]);
    } else if (rows === 'toggled') {
      for (const width of ['2', '4', '8']) cases.push([line.split(/\s+/)[0], ['toggle', '--tab-width', width, '-e', '# ']]);
    }
  }
  const runs = cases.map(([doc, args]) => [args, Buffer.concat(documents[doc]), doc]);
  assert.ok(runs.length > 20, `only ${runs.length} cases found`);
  await all(runs);
});

test('the settings file decodes and lists the same', async () => {
  await all([[['entries', '--format=json', '--settings', settings], Buffer.alloc(0), 'entries'],
    [['entries', '--settings', settings], Buffer.alloc(0), 'entries'],
    ...['1', '2', '5', 'シェル', 'SQL', '存在しない', '9'].map((e) => [['toggle', '--entry', e, '--settings', settings], Buffer.from('  a\n\tb\n'), e])]);
});

test('the menu\'s details: captions with access keys, the lines an entry cannot be made of', () => {
  // Each line, and what the menu makes of it: a caption as shown, ignored, or nothing (blank).
  const rows = [
    ['> \tMail(&M)\t>', 'ignored'], ['no tab here', 'ignored'], ['', null], ['  \t', ''],
    ['# \tShell && more(&S)', 'Shell & more(S)'], ['x\t', ''], ['-- \tSQL(&&Q)', 'SQL(&Q)'], ['> \tMail(&M)\\t>', 'Mail(M)'],
    ['\u3000', null],
  ];
  const file = path.join(scratch, 'details.txt');
  module.FS.writeFile(file, Buffer.from(rows.map((r) => r[0]).join('\r\n')));
  const at = module._malloc(Buffer.byteLength(file) + 1);
  module.HEAPU8.set(Buffer.from(`${file}\0`), at);
  const details = JSON.parse(module.UTF8ToString(module._marquill_settings_details(at)));
  module._free(at);
  assert.deepEqual(details, { captions: rows.filter((r) => r[1] !== null && r[1] !== 'ignored').map((r) => r[1]),
    ignored: rows.flatMap((r, i) => (r[1] === 'ignored' ? [i + 1] : [])) });
  const listed = JSON.parse(wasm(['entries', '--format=json', '--settings', file], Buffer.alloc(0)).output);
  assert.equal(listed.entries.length, details.captions.length, 'as many captions as the filter lists entries');
});

test('with the Japanese catalogue, the messages are the filter\'s in Japanese', async () => {
  const english = module;
  module = await made('ja.UTF-8');
  module.FS.mkdirTree('/io');
  module.FS.mkdirTree(scratch);
  module.FS.writeFile(settings, fs.readFileSync(settings));
  const catalogue = execFileSync('msgfmt', ['-o', '-', path.join(tests, '..', 'po', 'ja.po')]);
  const pointer = module._malloc(catalogue.length);
  module.HEAPU8.set(catalogue, pointer);
  module._marquill_catalogue(pointer, catalogue.length);
  module._free(pointer);
  try {
    const bad = [[['toggle', '-e', '# '], 'a\nb\u0000\n'], [['insert', '--entry', '存在しない', '--settings', settings], 'a\n'],
      [['insert', '--tab-width', '0', '-e', '>'], 'a\n'], [['insert', '--lines', 'bogus', '-e', '>'], 'a\n'], [['toggle', '-e', '# '], 'a\xff\n']];
    for (const [args, text] of bad) await same(args, Buffer.from(text, 'latin1'), 'Japanese', 'ja_JP.UTF-8');
    assert.match(wasm(['toggle', '-e', '# ', '--stdin-only'], Buffer.from('a\0')).message, /NUL バイト/);
  } finally {
    module = english;
  }
});

/** ARGS on each of INPUTS: the module run on each, the filter on all of them as FILE operands
 *  at once (it edits each on its own and stops at the first that fails, naming it). */
async function sameBatch(args, inputs, what) {
  const files = inputs.map((input, i) => {
    const file = path.join(scratch, `${i}.txt`);
    fs.writeFileSync(file, input);
    return file;
  });
  for (let start = 0; start < inputs.length;) {
    const want = await native([...args, ...files.slice(start)], Buffer.alloc(0));
    const outputs = [];
    let failed;
    let k = start;
    for (; k < inputs.length && !failed; k++) {
      const got = wasm([...args, '--stdin-only'], inputs[k]);
      outputs.push(got.output);
      if (got.status !== 0) failed = got;
    }
    const where = `${what}: ${JSON.stringify(args)} from input ${start} (the filter: ${want.status} ${want.message})`;
    if (!want.output.equals(Buffer.concat(outputs))) {
      // The first input that differs, on its own.
      for (let i = start; i < k; i++) await same(args, inputs[i], `${where}, input ${i}`);
    }
    assert.equal(want.output.toString('latin1'), Buffer.concat(outputs).toString('latin1'), where);
    assert.equal(want.status, failed?.status ?? 0, where);
    if (!failed) return;
    const named = failed.message.replace(/^marquill:-:/, `marquill:${files[k - 1]}:`);
    assert.equal(want.message, named, `${where}: ${JSON.stringify(inputs[k - 1].toString('latin1'))}`);
    if (named === failed.message) return; // refused before any input: so is every other
    start = k;
  }
}

test('random texts and arguments give the same bytes, statuses and messages', async () => {
  let seed = 20261208;
  const random = (n) => { seed = (seed * 1103515245 + 12345) % 2147483648; return seed % n; };
  const pick = (list) => list[random(list.length)];
  const pieces = ['a', 'b', ' ', '  ', '\t', '\u3000', '> ', '>', '#', '# ', '// ', '\n', '\n', '\r\n', '\r', '😀', 'é', '＞'];
  const rare = [Buffer.from([0]), Buffer.from([0xff]), Buffer.from([0xe3, 0x81]), Buffer.from([0xef, 0xbb, 0xbf])];
  const symbols = ['> ', '#', '# ', '// ', '＞', '※ ', ' ', '', '\t', '-- '];
  // 250 argument lists, each on 40 random texts: 10,000 cases.
  for (let group = 0; group < 250; group++) {
    const verb = pick(['insert', 'toggle', 'delete', 'delete-once', 'delete-all']);
    const args = [verb];
    if (random(2)) args.push('--at', pick(['head', 'char', 'middle']));
    if (random(2)) args.push('--lines', pick(['all', 'nonblank', 'least', 'after-blank']));
    if (random(2)) args.push('--tab-width', String(random(10)));
    if (random(4) === 0) args.push('--keep-indentation');
    if (random(3) === 0) args.push('--settings', settings, ...(random(2) ? ['--entry', pick(['1', '3', '4', 'シェル', '0'])] : []));
    else for (let k = 0, count = 1 + random(verb.startsWith('delete-') ? 3 : 1); k < count; k++) args.push('-e', pick(symbols));
    const inputs = Array.from({ length: 40 }, () => Buffer.concat(Array.from({ length: random(24) },
      () => (random(400) === 0 ? pick(rare) : Buffer.from(pick(pieces))))));
    await sameBatch(args, inputs, `random group ${group}`);
  }
});
