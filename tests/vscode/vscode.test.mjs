// The Marquill extension in a real VS Code (code-server, driven through headless Chromium):
// each edit's saved bytes equal the filter's result on the same lines.
// Environment: MARQUILL (the native filter the results must equal), MARQUILL_VSIX, MARQUILL_CODE_SERVER
// (code-server's package folder), MARQUILL_NODE (the node that runs it), MARQUILL_TEST_DIR (scratch).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { openWorkbench, startServer, until } from './workbench.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const root = fs.mkdtempSync(path.join(process.env.MARQUILL_TEST_DIR ?? '/tmp', 'vscode-'));
const folder = path.join(root, 'workspace');
const settingsFile = path.join(root, 'Marquill_Setting.txt');

// The documents, each used by one case.
const lfText = 'intro\n\n    if (x) {\n        call();\n    }\n\n  done\n';
const documents = {
  'lf.txt': lfText,
  'crlf.txt': lfText.replaceAll('\n', '\r\n'),
  'menu.txt': '  メール本文\n    続き\n\n  終わり\n',
  'undo.txt': 'a\n  b\n    c\nd\n',
  'multi.txt': 'alpha one\n    beta\n  > alpha two\ngamma\n    alpha three\n',
  'Makefile': 'all:\n\techo one\n        echo two\n\t  echo three\n\nclean:\n',
  'error.txt': 'keep\nthis\n',
  'column0.txt': 'one\ntwo\nthree\nfour\n',
  'delete-once.txt': '> > // a\n  # b\nc\n',
  'delete-all.txt': '> > // a\n  # b\nc\n',
  // A NUL past the part that VS Code looks at to tell a binary file, on line 41.
  'nul.txt': `${'a line of text that pads the file\n'.repeat(40)}bad\u0000line\nafter\n`,
  'cursors.py': 'def f(x):\n    if x:\n        return 1\n    return 2\n',
  'empty.py': 'a = 1\n\nb = 2\n',
};

// The toggle with no entry set: each language's own line comment (and a space), the first
// entry for prose; a language with block comments only is told to set one.
const languageDefaults = [
  { file: 'a.c', text: 'int f(void) {\n    return 1;\n}\n', symbol: '// ' },
  { file: 'a.py', text: 'def f():\n    return 1\n', symbol: '# ' },
  { file: 'a.sql', text: 'SELECT 1;\n  FROM t;\n', symbol: '-- ' },
  { file: 'a.md', text: '# Title\n\nSome text.\n', entry: '1' },
  { file: 'letter.txt', text: 'Dear all,\n  thanks.\n', entry: '1' },
  { file: 'a.css', text: 'p { color: red; }\n', says: 'marquill.toggleEntry' },
];
for (const { file, text } of languageDefaults) documents[file] = text;

const TOGGLE = 'Marquill: Toggle Quote or Line Comment';
const MENU = 'Marquill: Quote and Comment Menu';

const settings = {
  'marquill.settingsFile': settingsFile,
  'editor.tabSize': 4,
  'editor.detectIndentation': false,
  '[makefile]': { 'editor.tabSize': 8, 'editor.insertSpaces': false, 'marquill.toggleEntry': 'シェル' },
  'files.autoSave': 'off',
  'files.insertFinalNewline': false,
  'files.trimTrailingWhitespace': false,
  'workbench.startupEditor': 'none',
  'workbench.tips.enabled': false,
  'extensions.autoCheckUpdates': false,
  'extensions.autoUpdate': false,
  'extensions.ignoreRecommendations': true,
  'update.mode': 'none',
  'telemetry.telemetryLevel': 'off',
  'git.enabled': false,
};
const keybindings = [
  { key: 'ctrl+alt+shift+e', command: 'marquill.insert', args: { entry: '存在しない', at: 'head', lines: 'all' } },
  { key: 'ctrl+alt+shift+t', command: 'marquill.toggle' },
  { key: 'ctrl+alt+shift+i', command: 'marquill.insert', args: { entry: 2, at: 'head', lines: 'all' } },
];

/** The filter's own result on TEXT. */
function filter(args, text, tabWidth = 4) {
  const settings = args.includes('-e') ? [] : ['--settings', settingsFile];
  return execFileSync(process.env.MARQUILL, [...args, '--stdin-only', '--tab-width', String(tabWidth), ...settings],
    { input: Buffer.from(text, 'utf8') }).toString('utf8');
}

/** TEXT with the lines at INDEXES (from 0) replaced by the filter's result on them, taken together. */
function filterLines(args, text, indexes, tabWidth = 4) {
  const eol = text.includes('\r\n') ? '\r\n' : '\n';
  const lines = text.split(eol);
  const out = filter(args, indexes.map((i) => lines[i] + eol).join(''), tabWidth).split(eol);
  indexes.forEach((line, k) => { lines[line] = out[k]; });
  return lines.join(eol);
}

const read = (name) => fs.readFileSync(path.join(folder, name), 'utf8');

let server;
let browser;
let workbench;

before(async () => {
  fs.mkdirSync(folder);
  fs.copyFileSync(path.join(here, 'Marquill_Setting.txt'), settingsFile);
  for (const [name, text] of Object.entries(documents)) fs.writeFileSync(path.join(folder, name), text);
  server = await startServer({
    codeServer: process.env.MARQUILL_CODE_SERVER, node: process.env.MARQUILL_NODE ?? process.execPath,
    vsix: process.env.MARQUILL_VSIX, root, folder, settings, keybindings,
  });
  browser = await openWorkbench(server.url, path.join(root, 'chromium'));
  workbench = browser.workbench;
});

after(async () => {
  await browser?.context.close();
  server?.child.kill();
  fs.rmSync(root, { recursive: true, force: true });
});

/** A case that, on failure, leaves a screenshot of the workbench beside the test's scratch folder. */
function uiTest(name, body) {
  test(name, async () => {
    try {
      await body();
    } catch (e) {
      const shot = `${root}-failed-${name.replace(/[^A-Za-z0-9.]+/g, '-')}.png`;
      await browser?.page.screenshot({ path: shot }).catch(() => undefined);
      throw new Error(`${e.message}\n(screenshot: ${shot})`, { cause: e });
    }
  });
}

describe('Marquill in VS Code', () => {
  for (const name of ['lf.txt', 'crlf.txt']) {
    uiTest(`toggle twice on ${name} gives its bytes back`, async () => {
      const original = read(name);
      await workbench.open(name);
      await workbench.press('Control+A');
      await workbench.command(TOGGLE);
      await workbench.dirty(name, true);
      await workbench.save(name);
      assert.equal(read(name), filter(['toggle', '--entry', '1'], original));
      assert.notEqual(read(name), original);
      await workbench.press('Control+A');
      await workbench.command(TOGGLE);
      await workbench.dirty(name, true);
      await workbench.save(name);
      assert.equal(read(name), original);
    });
  }

  uiTest('the menu: the fixed items in VS Code\'s language (English), the user\'s Japanese captions from a code page 932 file', async () => {
    const original = read('menu.txt');
    await workbench.open('menu.txt');
    await workbench.press('Control+A');
    await workbench.command(MENU);
    const lines = ['All Lines', 'Non-Blank Lines', 'Least-Indented Lines Only', 'Lines After a Blank Line Only'];
    assert.deepEqual((await workbench.pickRows()).map((row) => row.label), [
      ...lines.map((l) => `Insert at Line Head › ${l}`), ...lines.map((l) => `Insert at Text Start › ${l}`),
      'Delete Head Symbol › Delete Once', 'Delete Head Symbol › Delete All', 'Delete Head Symbol › Delete Given', 'Edit Settings', 'Cancel']);
    await workbench.pick('Insert at Text Start › Least-Indented Lines Only');
    const listed = JSON.parse(execFileSync(process.env.MARQUILL, ['entries', '--format=json', '--settings', settingsFile]));
    const rows = await workbench.pickRows();
    // Each entry with its access key and its symbol, found by either.
    assert.deepEqual(rows.map((r) => r.description), listed.entries.map((e) => e.symbol));
    assert.deepEqual(rows.map((r) => r.label), ['メール引用(M)', 'シェル(S)', 'C++ コメント(C)', 'SQL(&Q)', '米印']);
    await workbench.input.fill('//');
    await until('the entry of //', async () => ((await workbench.pickRows()).map((r) => r.label).join() === 'C++ コメント(C)' ? true : undefined));
    await workbench.pick('C++ コメント(C)', '(c)');
    await workbench.dirty('menu.txt', true);
    await workbench.save('menu.txt');
    assert.equal(read('menu.txt'), filter(['insert', '--at', 'char', '--lines', 'least', '--entry', 'C++ コメント'], original));
  });

  uiTest('Edit Settings opens the settings file in its own encoding', async () => {
    await workbench.command(MENU);
    await workbench.pick('Edit Settings');
    await workbench.page.locator('.tabs-container .tab.active[data-resource-name="Marquill_Setting.txt"]').waitFor();
    await workbench.page.locator('.editor-group-container.active .view-lines', { hasText: 'メール引用(&M)' }).waitFor();
    await workbench.page.locator('.statusbar-item', { hasText: 'Shift JIS' }).waitFor();
  });

  uiTest('one undo restores every line the command changed', async () => {
    const original = read('undo.txt');
    await workbench.open('undo.txt');
    await workbench.press('Control+A');
    await workbench.command(TOGGLE);
    await workbench.dirty('undo.txt', true);
    await workbench.save('undo.txt');
    assert.equal(read('undo.txt'), filter(['toggle', '--entry', '1'], original));
    await workbench.press('Control+Z');
    await workbench.dirty('undo.txt', true);
    await workbench.save('undo.txt');
    assert.equal(read('undo.txt'), original);
  });

  uiTest('the lines of each cursor are judged on their own', async () => {
    const original = read('multi.txt');
    await workbench.open('multi.txt');
    await workbench.goToLine(1);
    await workbench.press('Control+D', 'Control+D', 'Control+D'); // "alpha" on lines 1, 3 and 5
    await workbench.command(TOGGLE);
    await workbench.dirty('multi.txt', true);
    await workbench.save('multi.txt');
    let expected = original;
    for (const line of [0, 2, 4]) expected = filterLines(['toggle', '--entry', '1'], expected, [line]);
    assert.equal(read('multi.txt'), expected);
  });

  uiTest('several cursors by the keybinding: each its own column, the selections on the same text', async () => {
    await workbench.open('cursors.py');
    await workbench.press('Control+F');
    await workbench.page.keyboard.type('return');
    await workbench.press('Alt+Enter', 'Escape');
    await workbench.press('Control+Alt+Semicolon');
    await workbench.dirty('cursors.py', true);
    // Typing waits for the edit and for the selections set back on the two
    // words (12 characters): keys that came first would make it give up, or
    // replace the marker that the selections hold until then.
    await workbench.page.locator('.editor-group-container.active .view-lines', { hasText: /#\s+return\s+2/ }).waitFor();
    await workbench.page.locator('.statusbar-item', { hasText: /\b12 characters selected/ }).waitFor();
    await workbench.page.keyboard.type('yield');
    await workbench.save('cursors.py');
    assert.equal(read('cursors.py'), 'def f(x):\n    if x:\n        # yield 1\n    # yield 2\n');
  });

  uiTest('the default keybinding is bound to nothing else', async () => {
    await workbench.command('Preferences: Open Default Keyboard Shortcuts (JSON)');
    await workbench.page.locator('.tabs-container .tab.active[data-resource-name="keybindings.json"]').waitFor();
    await workbench.press('Control+F');
    await workbench.page.keyboard.type('"key": "ctrl+alt+;"');
    const count = workbench.page.locator('.find-widget .matchesCount');
    // The extension's own binding, and no other.
    await until('one binding of ctrl+alt+;', async () => ((await count.textContent()) === '1 of 1' ? true : undefined));
    await workbench.press('Escape');
  });

  uiTest('an empty line gets the symbol with the cursor after it', async () => {
    await workbench.open('empty.py');
    await workbench.goToLine(2);
    await workbench.press('Control+Alt+Semicolon');
    await workbench.dirty('empty.py', true);
    await workbench.page.keyboard.type('note');
    await workbench.page.locator('.editor-group-container.active .view-lines', { hasText: /#\s+note/ }).waitFor();
    await workbench.save('empty.py');
    assert.equal(read('empty.py'), 'a = 1\n# note\nb = 2\n');
  });

  for (const { file, text, symbol, entry, says } of languageDefaults) {
    uiTest(`the toggle's default symbol in ${file}`, async () => {
      await workbench.open(file);
      await workbench.press('Control+A');
      await workbench.command(TOGGLE);
      if (says) {
        const message = await workbench.notification(says);
        assert.match(message, /^Marquill: /);
        await workbench.command('Notifications: Clear All Notifications');
        await workbench.dirty(file, false);
        return;
      }
      await workbench.dirty(file, true);
      await workbench.save(file);
      const args = symbol ? ['toggle', '-e', symbol] : ['toggle', '--entry', entry];
      assert.equal(read(file), filter(args, text));
      assert.notEqual(read(file), text);
    });
  }

  uiTest('the first run: the starter list is offered, opened with tabs kept and used', async () => {
    const kept = `${settingsFile}.kept`;
    fs.renameSync(settingsFile, kept);
    try {
      await workbench.open('error.txt');
      await workbench.command(MENU);
      await workbench.pick('Insert at Line Head › All Lines');
      await workbench.notification('Marquill: ');
      await workbench.page.locator('.notification-toast .monaco-button', { hasText: 'Create from the starter list' }).click();
      await workbench.page.locator('.tabs-container .tab.active[data-resource-name="Marquill_Setting.txt"]').waitFor();
      await workbench.press('Control+End');
      await workbench.page.keyboard.type(';');
      await workbench.press('Tab');
      await workbench.page.keyboard.type('INI(&I)');
      await workbench.press('Enter');
      await workbench.save('Marquill_Setting.txt');
      const written = fs.readFileSync(settingsFile, 'utf8');
      assert.ok(written.startsWith(fs.readFileSync(path.join(here, '..', '..', 'package', 'sample-settings.txt'), 'utf8')));
      assert.ok(written.endsWith(';\tINI(&I)\n'), JSON.stringify(written));
      await workbench.open('error.txt');
      await workbench.command(MENU);
      await workbench.pick('Insert at Line Head › All Lines');
      await workbench.pick('INI(I)');
      await workbench.dirty('error.txt', true);
      await workbench.press('Control+Z');
      await workbench.dirty('error.txt', false);
    } finally {
      fs.renameSync(kept, settingsFile);
    }
  });

  uiTest('a Makefile toggles at its own tab size with its own entry', async () => {
    const original = read('Makefile');
    await workbench.open('Makefile');
    await workbench.goToLine(2);
    await workbench.press('Shift+ArrowDown', 'Shift+ArrowDown', 'Shift+ArrowDown');
    await workbench.command(TOGGLE);
    await workbench.dirty('Makefile', true);
    await workbench.save('Makefile');
    const expected = filterLines(['toggle', '--entry', 'シェル'], original, [1, 2, 3], 8);
    assert.equal(read('Makefile'), expected);
    assert.notEqual(expected, filterLines(['toggle', '--entry', 'シェル'], original, [1, 2, 3], 4));
  });

  uiTest('a selection that ends at column 0 leaves that line out', async () => {
    const original = read('column0.txt');
    await workbench.open('column0.txt');
    await workbench.goToLine(2);
    await workbench.press('Shift+ArrowDown', 'Shift+ArrowDown');
    await workbench.press('Control+Alt+Shift+I');
    await workbench.dirty('column0.txt', true);
    await workbench.save('column0.txt');
    assert.equal(read('column0.txt'), filterLines(['insert', '--at', 'head', '--lines', 'all', '--entry', '2'], original, [1, 2]));
  });

  // The verbs that take no tab width, from the menu.
  for (const [caption, verb] of [['Delete Once', 'delete-once'], ['Delete All', 'delete-all']]) {
    uiTest(`Delete Head Symbol › ${caption} gives the filter's result`, async () => {
      const name = `${verb}.txt`;
      await workbench.open(name);
      await workbench.press('Control+A');
      await workbench.command(MENU);
      await workbench.pick(`Delete Head Symbol › ${caption}`);
      await workbench.dirty(name, true);
      await workbench.save(name);
      const want = execFileSync(process.env.MARQUILL, [verb, '--stdin-only', '--settings', settingsFile],
        { input: documents[name] }).toString('utf8');
      assert.notEqual(want, documents[name]);
      assert.equal(read(name), want);
    });
  }

  uiTest('a settings file that cannot be read: its message with its path, nothing changed, Edit Settings opens it', async () => {
    const readable = fs.readFileSync(settingsFile);
    // A byte that is neither UTF-8 nor code page 932.
    fs.writeFileSync(settingsFile, Buffer.concat([readable, Buffer.from('# \t\x80 mend me\r\n', 'latin1')]));
    try {
      for (const item of ['Insert at Line Head › All Lines', 'Delete Head Symbol › Delete Given', 'Delete Head Symbol › Delete Once']) {
        await workbench.open('error.txt');
        await workbench.command(MENU);
        await workbench.pick(item);
        const message = await workbench.notification(settingsFile).catch((e) => {
          throw new Error(`${item}: ${e.message}`);
        });
        assert.match(message, /^Marquill: /, item);
        assert.doesNotMatch(message, /marquill: |--settings|\(byte /, item);
        // The bad byte, on the last line of the file after its CR LF lines.
        assert.match(message, new RegExp(`line ${readable.toString('latin1').split('\r\n').length}, column 4`), item);
        await workbench.press('Escape');
        await workbench.dirty('error.txt', false);
        assert.equal(read('error.txt'), documents['error.txt'], item);
        await workbench.command('Notifications: Clear All Notifications');
      }
      await workbench.command(MENU);
      await workbench.pick('Edit Settings');
      await workbench.page.locator('.tabs-container .tab.active[data-resource-name="Marquill_Setting.txt"]').waitFor();
      await workbench.page.locator('.editor-group-container.active .view-lines', { hasText: 'mend me' }).waitFor();
    } finally {
      fs.writeFileSync(settingsFile, readable);
    }
  });

  const errors = [
    { file: 'error.txt', line: 1, keys: ['Control+Alt+Shift+E'], says: '存在しない' },
    { file: 'nul.txt', line: 30, keys: ['Control+Shift+End', 'Control+Alt+Shift+T'], says: 'nul.txt, line 41, column 4:' },
  ];
  for (const { file, line, keys, says } of errors) {
    uiTest(`an error on ${file} shows a message and changes nothing`, async () => {
      await workbench.open(file);
      await workbench.goToLine(line);
      await workbench.press('Shift+ArrowDown', ...keys);
      const message = await workbench.notification(says);
      assert.ok(message.includes(says), message);
      await workbench.dirty(file, false);
      assert.equal(read(file), documents[file]);
    });
  }
});
