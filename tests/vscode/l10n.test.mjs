// The packed extension's texts as VS Code shows them for a display language: the manifest with its
// package.nls.LANG.json, the messages through l10n/bundle.l10n.LANG.json, the menu from the module
// with the catalogue the extension loads for that language. One language on every screen.
// Environment: MARQUILL_VSIX (the packed extension), MARQUILL_WASM (the module's build folder).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

const root = fs.mkdtempSync(path.join(os.tmpdir(), 'marquill-l10n-'));
process.on('exit', () => fs.rmSync(root, { recursive: true, force: true }));
execFileSync('unzip', ['-q', process.env.MARQUILL_VSIX, '-d', root]);
const extension = path.join(root, 'extension');
const readJson = (name) => JSON.parse(fs.readFileSync(path.join(extension, name), 'utf8'));
const exists = (name) => fs.existsSync(path.join(extension, name));

/** The manifest's shown texts for LANGUAGE: each %key% from package.nls.LANGUAGE.json, else English. */
function manifestTexts(language) {
  const english = readJson('package.nls.json');
  const own = language === 'en' || !exists(`package.nls.${language}.json`) ? {} : readJson(`package.nls.${language}.json`);
  const manifest = readJson('package.json');
  const shown = (text) => text.replace(/^%([^%]+)%$/, (_, key) => own[key] ?? english[key]);
  const c = manifest.contributes;
  return [manifest.description, ...c.commands.flatMap((m) => [`${shown(m.category)}: ${shown(m.title)}`]),
    ...Object.values(c.configuration.properties).map((p) => p.markdownDescription ?? p.description)].map(shown);
}

/** Every text the bundled code passes to vscode.l10n.t, as VS Code shows it for LANGUAGE. */
function runtimeTexts(language) {
  const code = fs.readFileSync(path.join(extension, 'dist/extension.js'), 'utf8');
  const literal = /l10n\.t\(\s*("(?:[^"\\]|\\.)*"|'(?:[^'\\]|\\.)*'|`(?:[^`\\$]|\\.)*`)/g;
  const texts = [...new Set([...code.matchAll(literal)].map((m) => new Function(`return ${m[1]};`)()))];
  const bundle = language === 'en' || !exists(`l10n/bundle.l10n.${language}.json`) ? {}
    : readJson(`l10n/bundle.l10n.${language}.json`);
  return texts.map((text) => bundle[text] ?? text);
}

const require = createRequire(import.meta.url);
const wasmDir = process.env.MARQUILL_WASM;
const module = await require(path.join(wasmDir, 'marquill.js'))({
  wasmBinary: fs.readFileSync(path.join(wasmDir, 'marquill.wasm')), print() {}, printErr() {},
});
const USER_CAPTIONS = ['引用', 'Shell comment'];
module.FS.mkdirTree('/io');
module.FS.mkdirTree('/settings');
module.FS.writeFile('/settings/s.txt', `> \t${USER_CAPTIONS[0]}\n# \t${USER_CAPTIONS[1]}\n`);

/** The menu's captions and groups as the module gives them with the catalogue the extension loads
 *  for LANGUAGE (dist/locale/TAG/LC_MESSAGES/marquill.mo, TAG the language's first part). */
function menuTexts(language) {
  const mo = path.join(extension, 'dist/locale', language.split('-')[0], 'LC_MESSAGES/marquill.mo');
  const catalogue = fs.existsSync(mo) ? fs.readFileSync(mo) : Buffer.alloc(0);
  const pointer = module._malloc(Math.max(catalogue.length, 1));
  module.HEAPU8.set(catalogue, pointer);
  module._marquill_catalogue(pointer, catalogue.length);
  module._free(pointer);
  module.FS.writeFile('/io/input', new Uint8Array());
  const args = Buffer.from(['entries', '--format=json', '--settings', '/settings/s.txt'].map((a) => `${a}\0`).join(''));
  const at = module._malloc(args.length);
  module.HEAPU8.set(args, at);
  assert.equal(module._marquill_run(at, args.length), 0);
  module._free(at);
  const list = JSON.parse(Buffer.from(module.FS.readFile('/io/output')).toString('utf8'));
  assert.deepEqual(list.entries.map((e) => e.caption), USER_CAPTIONS, 'the user\'s captions as stored');
  return list.menu.items.flatMap((item) => [item.group, item.caption]).filter((t) => t);
}

const JAPANESE = /[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]/;
// What stays in Latin letters in a Japanese text: names, code, placeholders, keys.
const NAMES = ['VS Code for the Web', 'VS Code', 'Marquill', 'Windows', 'Python', 'Markdown', 'SQL'];

/** The English words left in TEXT once names, `code`, {N} and identifiers or paths are taken out. */
function englishWords(text) {
  let rest = text.replace(/`[^`]*`/g, ' ').replace(/\{\d+\}/g, ' ');
  for (const name of NAMES) rest = rest.split(name).join(' ');
  rest = rest.replace(/\S*[./$%~\\_]\S*/g, ' ');
  return rest.match(/\b[A-Za-z]{2,}\b/g) ?? [];
}

const languages = { ja: 'Japanese', en: 'English', 'zh-cn': 'a language with no translation' };
for (const [language, name] of Object.entries(languages)) {
  test(`display language ${language} (${name}): the manifest, messages and menu in one language`, () => {
    const groups = { manifest: manifestTexts(language), messages: runtimeTexts(language), menu: menuTexts(language) };
    assert.ok(groups.messages.length >= 15, `the bundle's l10n.t texts were found: ${groups.messages.length}`);
    for (const [what, texts] of Object.entries(groups)) {
      for (const text of texts) {
        if (language === 'ja') {
          assert.deepEqual(englishWords(text), [], `${what}: English in ${JSON.stringify(text)}`);
        } else {
          assert.doesNotMatch(text, JAPANESE, `${what}: Japanese in ${JSON.stringify(text)}`);
        }
      }
    }
  });
}

test('every language the filter speaks in the extension has the manifest\'s and messages\' translations', () => {
  const spoken = fs.readdirSync(path.join(extension, 'dist/locale'));
  const manifests = fs.readdirSync(extension).flatMap((f) => f.match(/^package\.nls\.(.+)\.json$/)?.[1] ?? []);
  const bundles = fs.readdirSync(path.join(extension, 'l10n')).flatMap((f) => f.match(/^bundle\.l10n\.(.+)\.json$/)?.[1] ?? []);
  assert.ok(spoken.includes('ja'));
  assert.deepEqual(manifests.sort(), spoken.sort());
  assert.deepEqual(bundles.sort(), spoken.sort());
  assert.equal(readJson('package.json').l10n, './l10n');
  // Every key of the manifest's English has its translation: none falls back to English.
  for (const language of spoken) {
    assert.deepEqual(Object.keys(readJson(`package.nls.${language}.json`)).sort(), Object.keys(readJson('package.nls.json')).sort());
  }
});

test('the Japanese command titles are found by 引用 and コメント in the Command Palette', () => {
  const own = readJson('package.nls.ja.json');
  for (const command of readJson('package.json').contributes.commands) {
    const title = own[command.title.slice(1, -1)];
    assert.match(title, /引用/, command.command);
    assert.match(title, /コメント/, command.command);
  }
});
