// The extension's line bookkeeping against simple models, on random input: which lines the
// selections cover, the edit that turns a line into the filter's result, the message's place.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';

const here = path.dirname(new URL(import.meta.url).pathname);
const extension = path.join(here, '..', '..', 'editors', 'vscode');
const require = createRequire(path.join(extension, 'package.json'));
const ts = require('typescript');

/** src/lines.ts, compiled here as the build compiles it. */
function load() {
  const source = fs.readFileSync(path.join(extension, 'src', 'lines.ts'), 'utf8');
  const js = ts.transpileModule(source, { compilerOptions: { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 } }).outputText;
  const module = { exports: {} };
  new Function('exports', 'require', 'module', js)(module.exports, require, module);
  return module.exports;
}
const lines = load();

let seed = 12345;
const random = (n) => { seed = (seed * 1103515245 + 12345) % 2147483648; return seed % n; };
const pieces = ['a', ' ', '\t', '> ', '　', '😀', 'é', '#'];
const randomText = (max) => Array.from({ length: random(max) }, () => pieces[random(pieces.length)]).join('');

test('covered lines: every line a selection touches, less one that it only reaches at column 0', () => {
  for (let round = 0; round < 500; round++) {
    const spans = Array.from({ length: 1 + random(4) }, () => {
      const a = { line: random(12), character: random(3) };
      const b = { line: random(12), character: random(3) };
      return a.line < b.line || (a.line === b.line && a.character <= b.character) ? { start: a, end: b } : { start: b, end: a };
    });
    const model = [];
    for (let line = 0; line < 12; line++) {
      const inside = spans.some(({ start, end }) => start.line <= line &&
        (line < end.line || (line === end.line && (end.character > 0 || start.line === end.line))));
      if (inside) model.push(line);
    }
    assert.deepEqual(lines.coveredLines(spans), model, JSON.stringify(spans));
  }
});

test('a line edit gives the filter\'s line, keeps what both ends share and never splits a character', () => {
  for (let round = 0; round < 2000; round++) {
    const before = randomText(8);
    const after = random(2) ? pieces[random(pieces.length)] + before : randomText(8);
    const edit = lines.lineEdit(7, before, after);
    assert.equal(edit.line, 7);
    assert.ok(0 <= edit.from && edit.from <= edit.to && edit.to <= before.length);
    assert.equal(before.slice(0, edit.from) + edit.text + before.slice(edit.to), after, JSON.stringify([before, after]));
    for (const cut of [edit.from, edit.to]) {
      assert.ok(!/[\udc00-\udfff]/.test(before.charAt(cut)) || cut === before.length, JSON.stringify([before, after, edit]));
    }
    if (after.endsWith(before)) assert.equal(edit.to, edit.from, 'an insertion removes nothing');
  }
});

// Lines before and after, and the one change expected: what is put in goes in before the text
// it precedes, never between the halves of a character.
const lineEdits = [
  ['  x', '  # x', 2, 2, '# '],
  ['  #x', '  # #x', 2, 2, '# '],
  ['    return 2', '    # return 2', 4, 4, '# '],
  ['  # #x', '  #x', 1, 3, ''],
  ['', '# ', 0, 0, '# '],
  ['a😀', 'a😁', 1, 3, '😁'],
  ['😀b', '😁b', 0, 2, '😁'],
  ['x😀', '> x😀', 0, 0, '> '],
  ['\ud83d\ude00\ud83d\ude01', '\ud83d\ude01', 0, 2, ''],
  ['same', 'same', 0, 0, ''],
];

test('a line edit: the table', () => {
  for (const [before, after, from, to, text] of lineEdits) {
    assert.deepEqual(lines.lineEdit(0, before, after), { line: 0, from, to, text }, JSON.stringify([before, after]));
  }
});

test('a place moves with the text it is on, and after text put in where it stands', () => {
  for (let round = 0; round < 2000; round++) {
    const before = randomText(6);
    const cut = random(before.length + 1);
    const symbol = pieces[random(pieces.length)];
    // A symbol put in at CUT: every place from CUT on moves by its length.
    const edit = lines.lineEdit(0, before, before.slice(0, cut) + symbol + before.slice(cut));
    const after = before.slice(0, cut) + symbol + before.slice(cut);
    for (let c = 0; c <= before.length; c++) {
      const moved = lines.movedCharacter(edit, c);
      const where = JSON.stringify([before, symbol, cut, c, edit]);
      if (c < edit.from) assert.equal(after.slice(0, moved), before.slice(0, c), where);
      if (c >= edit.to) assert.equal(after.slice(moved), before.slice(c), where);
    }
    assert.equal(after.slice(lines.movedCharacter(edit, cut)), before.slice(cut), 'the place of the symbol goes after it');
  }
});

test('selections that share a line are one group, the others each their own', () => {
  for (let round = 0; round < 500; round++) {
    const spans = Array.from({ length: 1 + random(5) }, () => {
      const a = random(10);
      const b = a + random(3);
      return { start: { line: a, character: random(2) }, end: { line: b, character: random(2) } };
    });
    const groups = lines.spanGroups(spans);
    assert.deepEqual(groups.flat().sort((a, b) => a - b), spans.map((_, i) => i));
    const linesOf = (g) => new Set(lines.coveredLines(g.map((i) => spans[i])));
    for (let i = 0; i < groups.length; i++) {
      for (let j = i + 1; j < groups.length; j++) {
        const shared = [...linesOf(groups[i])].filter((l) => linesOf(groups[j]).has(l));
        assert.deepEqual(shared, [], JSON.stringify(spans));
      }
      // A group is no larger than it must be: it cannot be split into two that share no line.
      const g = groups[i];
      for (let cut = 1; cut < g.length; cut++) {
        const left = new Set(lines.coveredLines(g.slice(0, cut).map((k) => spans[k])));
        const rest = lines.coveredLines(g.slice(cut).map((k) => spans[k]));
        if (!rest.some((l) => left.has(l)) && Math.max(...left) < Math.min(...rest)) {
          assert.fail(`group ${JSON.stringify(g)} splits at ${cut}: ${JSON.stringify(spans)}`);
        }
      }
    }
  }
});

test('joined lines split back; a different count is refused', () => {
  for (const eol of ['\n', '\r\n']) {
    const texts = ['', '  a', '\tb', ''];
    const joined = lines.joinLines(texts, eol);
    assert.deepEqual(lines.splitLines(joined, eol, texts.length), texts);
    assert.equal(lines.splitLines(joined + 'x', eol, texts.length), undefined);
    assert.equal(lines.splitLines(joined + eol, eol, texts.length), undefined);
  }
});

test('the filter\'s place becomes the document\'s line and character column', () => {
  const message = lines.documentMessage('marquill:-:2:8: NUL in the text', 'a.txt', [4, 9], ['x', 'メール\u0000']);
  assert.equal(message, 'marquill: a.txt:10:4: NUL in the text');
  assert.equal(lines.documentMessage('marquill: no such entry: x', 'a.txt', [0], ['x']), 'marquill: no such entry: x');
});
