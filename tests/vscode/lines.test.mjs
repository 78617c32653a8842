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
