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

// src/engine.ts compiled as the build compiles it, with the module of the wasm build folder.
const here = path.dirname(new URL(import.meta.url).pathname);
const source = path.join(here, '..', '..', 'editors', 'vscode');
const require = createRequire(path.join(source, 'package.json'));
const ts = require('typescript');
const wasmDir = path.resolve(process.env.MARQUILL_WASM);
/** src/NAME.ts compiled as the build compiles it; its imports from MODULES, else from node_modules. */
function load(name, modules) {
  const code = fs.readFileSync(path.join(source, 'src', `${name}.ts`), 'utf8');
  const js = ts.transpileModule(code, { compilerOptions: { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 } }).outputText;
  const module = { exports: {} };
  new Function('exports', 'require', 'module', js)(module.exports, (n) => modules[n] ?? require(n), module);
  return module.exports;
}
const engineModule = load('engine', { 'marquill-wasm': require(path.join(wasmDir, 'marquill.js')) });
const { Engine, EngineError } = engineModule;
/** src/settings.ts with a vscode whose l10n.t looks in LANGUAGE's bundle, as VS Code's does. */
function settingsFor(language) {
  const bundle = exists(`l10n/bundle.l10n.${language}.json`) ? readJson(`l10n/bundle.l10n.${language}.json`) : {};
  const t = (text, ...args) => (bundle[text] ?? text).replace(/\{(\d+)\}/g, (_, i) => String(args[Number(i)]));
  return load('settings', { vscode: { l10n: { t } }, './engine': engineModule });
}
const USER_CAPTIONS = ['引用', 'Shell comment'];

/** The menu's fixed texts and a failure's message from the engine as the extension makes it for
 *  LANGUAGE: the language given, and the filter's catalogue for it from the package
 *  (dist/locale/TAG/LC_MESSAGES/marquill.mo). The browser's own language is Japanese, to be ignored. */
async function engineTexts(language) {
  globalThis.navigator = { language: 'ja-JP', languages: ['ja-JP', 'ja'] };
  const engine = await Engine.create(fs.readFileSync(path.join(wasmDir, 'marquill.wasm')), undefined, language);
  const mo = path.join(extension, 'dist/locale', language.split('-')[0], 'LC_MESSAGES/marquill.mo');
  if (fs.existsSync(mo)) engine.setCatalogue(fs.readFileSync(mo));
  engine.setSettings(Buffer.from(`> \t${USER_CAPTIONS[0]}\n# \t${USER_CAPTIONS[1]}\n`));
  const list = engine.listing();
  assert.deepEqual(list.entries.map((e) => e.caption), USER_CAPTIONS, 'the user\'s captions as stored');
  const failures = [['insert', '--tab-width', '0', '-e', '>'], ['insert', '--entry', '9'], ['toggle', '-e', '']].map((args) => {
    try {
      engine.edit(args, 'a\n');
    } catch (e) {
      if (e instanceof EngineError) return e.failure.message;
      throw e;
    }
    return assert.fail(`${args.join(' ')} succeeded`);
  });
  // A settings file with a bad byte on its second line: the place as the extension tells it.
  const bad = Buffer.from('> \tQuote\r\n# \t\x80 bad\r\n', 'latin1');
  engine.setSettings(bad);
  const told = settingsFor(language).placeOfOffset(engine.listing().settings.error.replace(/^marquill: /, ''), bad);
  assert.match(told, /\b2\b.*\b4\b/, `line 2, column 4 in ${JSON.stringify(told)}`);
  assert.doesNotMatch(told, /byte|バイト|--settings/, told);
  return [...list.menu.items.flatMap((item) => [item.group, item.caption]).filter((t) => t), ...failures, told];
}

const JAPANESE = /[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]/;
// What stays in Latin letters in a Japanese text: names, code, placeholders, keys.
const NAMES = ['VS Code for the Web', 'VS Code', 'Marquill', 'Windows', 'Python', 'Markdown', 'SQL'];

/** The English words left in TEXT once names, `code`, {N} and identifiers or paths are taken out. */
function englishWords(text) {
  let rest = text.replace(/`[^`]*`/g, ' ').replace(/\{\d+\}/g, ' ');
  for (const name of NAMES) rest = rest.split(name).join(' ');
  rest = rest.replace(/\S*[-./$%~\\_]\S*/g, ' ');
  // Upper-case words are operands' names and abbreviations: SYMBOL, FILE, CR LF.
  return (rest.match(/\b[A-Za-z]{2,}\b/g) ?? []).filter((word) => word !== word.toUpperCase());
}

const languages = { ja: 'Japanese', en: 'English', 'zh-cn': 'a language with no translation' };
for (const [language, name] of Object.entries(languages)) {
  test(`display language ${language} (${name}): the manifest, messages and menu in one language`, async () => {
    const groups = { manifest: manifestTexts(language), messages: runtimeTexts(language), engine: await engineTexts(language) };
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
