// The extension's browser bundle in a web worker of headless Chromium, as VS Code for the Web
// runs it: web/host.js stands in for the web extension host. The module loads from the package,
// and the toggle gives the native filter's lines.
// Environment: MARQUILL (the native filter), MARQUILL_VSIX, MARQUILL_CHROMIUM, MARQUILL_TEST_DIR.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { chromium } from 'playwright-core';

const here = path.dirname(new URL(import.meta.url).pathname);
const root = fs.mkdtempSync(path.join(process.env.MARQUILL_TEST_DIR ?? '/tmp', 'browser-'));
const settingsFile = path.join(here, 'Marquill_Setting.txt');
let server;
let browser;
let page;

const served = {
  '/page.html': () => Buffer.from('<!doctype html><title>host</title>'),
  '/host.js': () => fs.readFileSync(path.join(here, 'web', 'host.js')),
  '/languages/python.json': () => fs.readFileSync(path.join(here, 'web', 'python.json')),
};

before(async () => {
  execFileSync('unzip', ['-q', process.env.MARQUILL_VSIX, '-d', root]);
  server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://localhost').pathname;
    const file = url.startsWith('/extension/') ? path.join(root, url) : undefined;
    const body = served[url]?.() ?? (file && fs.existsSync(file) ? fs.readFileSync(file) : undefined);
    const type = url.endsWith('.js') ? 'text/javascript' : url.endsWith('.html') ? 'text/html' : 'application/octet-stream';
    response.writeHead(body ? 200 : 404, { 'content-type': type });
    response.end(body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  browser = await chromium.launch({ executablePath: process.env.MARQUILL_CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu'] });
  page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/page.html`);
  await page.evaluate(() => new Promise((resolve, reject) => {
    window.host = new Worker('/host.js');
    window.host.onerror = (e) => reject(new Error(e.message));
    window.host.onmessage = ({ data }) => (data.ready ? resolve() : reject(new Error(JSON.stringify(data))));
  }));
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(root, { recursive: true, force: true });
});

/** The command run in the worker on a document: its text after, the selections, what was shown. */
function run(request) {
  return page.evaluate((r) => new Promise((resolve) => {
    window.host.onmessage = ({ data }) => resolve(data);
    window.host.postMessage(r);
  }), request);
}

function filter(args, text) {
  return execFileSync(process.env.MARQUILL, [...args, '--stdin-only', '--tab-width', '4', '--settings', settingsFile],
    { input: text }).toString('utf8');
}

const settings = [...fs.readFileSync(settingsFile)];
const python = 'def f(x):\n    if x:\n        return 1\n    return 2\n';

// Each case: the document and selections, the settings, and the text and selections expected.
const cases = [
  { name: 'plain text takes the first entry', languageId: 'plaintext', text: 'intro\n\n    call();\n  done\n',
    selections: [[0, 0, 4, 0]], settings, want: () => filter(['toggle', '--entry', '1'], 'intro\n\n    call();\n  done\n') },
  { name: 'Python takes its line comment from a configuration with comments; each cursor its own column',
    languageId: 'python', text: python, selections: [[2, 8, 2, 14], [3, 4, 3, 10]], settings,
    want: () => 'def f(x):\n    if x:\n        # return 1\n    # return 2\n', selected: [[2, 10, 2, 16], [3, 6, 3, 12]] },
  { name: 'an empty line gets the symbol, the cursor after it', languageId: 'python', text: 'a = 1\n\nb = 2\n',
    selections: [[1, 0, 1, 0]], want: () => 'a = 1\n# \nb = 2\n', selected: [[1, 2, 1, 2]] },
  { name: 'toggleEntry wins over the language', languageId: 'python', text: python, selections: [[0, 0, 4, 0]], settings,
    toggleEntry: 'シェル', want: () => filter(['toggle', '--entry', 'シェル'], python) },
  { name: 'an entry that is not there: the message, nothing changes', languageId: 'python', text: python,
    selections: [[0, 0, 1, 0]], settings, toggleEntry: '存在しない', want: () => python, says: /^Marquill: .*存在しない/ },
  { name: 'a NUL: its line and column, nothing changes', languageId: 'plaintext', text: 'a\n  b\u0000\n',
    selections: [[0, 0, 2, 0]], settings, want: () => 'a\n  b\u0000\n', says: /^Marquill: document.txt, line 2, column 4: / },
  { name: 'no settings file: the starter list is offered, nothing changes', languageId: 'plaintext', text: 'a\n',
    selections: [[0, 0, 0, 0]], want: () => 'a\n', says: /^Marquill: there is no settings file/ },
];

for (const c of cases) {
  test(c.name, async () => {
    const got = await run({ text: c.text, languageId: c.languageId, selections: c.selections, command: 'marquill.toggle',
      settings: c.settings, toggleEntry: c.toggleEntry });
    assert.equal(got.error, undefined, got.error);
    assert.equal(got.text, c.want());
    if (c.selected) assert.deepEqual(got.selections, c.selected);
    if (c.says) assert.match(got.shown.join('\n'), c.says);
    else assert.deepEqual(got.shown, []);
  });
}
