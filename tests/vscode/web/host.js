// A stand-in for VS Code's web extension host, in a web worker: the part of the `vscode` API
// the extension's browser bundle uses, over in-memory documents and files, driven by messages.
/* eslint-env worker */
'use strict';

class Uri {
  constructor(scheme, path) { this.scheme = scheme; this.path = path; this.fsPath = path; }
  static file(path) { return new Uri('file', path); }
  static joinPath(base, ...parts) {
    const segments = base.path.split('/');
    for (const part of parts.join('/').split('/')) {
      if (part === '..') segments.pop();
      else if (part !== '.' && part !== '') segments.push(part);
    }
    return new Uri(base.scheme, segments.join('/'));
  }
  toString() { return `${this.scheme}:${this.path}`; }
}
class Position { constructor(line, character) { this.line = line; this.character = character; } }
class Range {
  constructor(a, b, c, d) {
    [this.start, this.end] = typeof a === 'number' ? [new Position(a, b), new Position(c, d)] : [a, b];
  }
}
class Selection extends Range {
  constructor(anchor, active) { super(anchor, active); this.anchor = anchor; this.active = active; }
}
class FileSystemError extends Error { constructor(code) { super(code); this.code = code; } }

const files = new Map();    // path of a file: URI -> bytes
const config = {};          // marquill.* settings
const shown = [];           // messages shown to the user
const commands = new Map();
let editor;

async function readFile(uri) {
  if (uri.scheme === 'http') {
    const response = await fetch(uri.path);
    if (!response.ok) throw new FileSystemError('FileNotFound');
    return new Uint8Array(await response.arrayBuffer());
  }
  if (!files.has(uri.toString())) throw new FileSystemError('FileNotFound');
  return files.get(uri.toString());
}

const language = { id: 'python', configuration: './python.json' };
self.vscode = {
  Uri, Position, Range, Selection, FileSystemError,
  EndOfLine: { LF: 1, CRLF: 2 },
  ProgressLocation: { Notification: 15 },
  l10n: { t: (text, ...args) => text.replace(/\{(\d+)\}/g, (_, n) => String(args[n])) },
  env: { language: 'en' },
  extensions: { all: [{ extensionUri: new Uri('http', '/languages'), packageJSON: { contributes: { languages: [language] } } }] },
  commands: { registerCommand: (name, body) => { commands.set(name, body); return { dispose() {} }; } },
  workspace: {
    fs: {
      readFile,
      writeFile: async (uri, bytes) => { files.set(uri.toString(), bytes); },
      createDirectory: async () => undefined,
    },
    getConfiguration: () => ({
      get: (key, fallback) => (key in config ? config[key] : fallback),
      inspect: (key) => ({ globalValue: config[key] }),
    }),
    asRelativePath: () => 'document.txt',
    openTextDocument: async (uri) => ({ uri }),
  },
  window: {
    get activeTextEditor() { return editor; },
    showErrorMessage: async (text) => { shown.push(text); },
    showWarningMessage: async (text) => { shown.push(text); },
    showQuickPick: async () => undefined,
    showTextDocument: async () => ({ options: {} }),
    withProgress: async (_options, task) => task({ report() {} }, { isCancellationRequested: false }),
  },
};

/** An editor on TEXT (lines split at LF) in LANGUAGEID with SELECTIONS ([line, character, line, character]). */
function makeEditor(text, languageId, selections) {
  const lines = text.split('\n');
  const document = {
    uri: Uri.file('/document.txt'), languageId, eol: 1, version: 1, isClosed: false,
    get lineCount() { return lines.length; },
    lineAt: (line) => ({ text: lines[line] }),
  };
  return {
    document,
    options: { tabSize: 4 },
    selections: selections.map(([a, b, c, d]) => new Selection(new Position(a, b), new Position(c, d))),
    async edit(body) {
      const edits = [];
      body({ replace: (range, text) => edits.push({ range, text }) });
      // From the last to the first, so that the earlier places still hold.
      edits.sort((x, y) => y.range.start.line - x.range.start.line || y.range.start.character - x.range.start.character);
      for (const { range, text } of edits) {
        const head = lines[range.start.line].slice(0, range.start.character);
        const tail = lines[range.end.line].slice(range.end.character);
        lines.splice(range.start.line, range.end.line - range.start.line + 1, ...(head + text + tail).split('\n'));
      }
      document.version++;
      return true;
    },
    text: () => lines.join('\n'),
  };
}

self.module = { exports: {} };
self.exports = self.module.exports;
self.require = (name) => {
  if (name === 'vscode') return self.vscode;
  throw new Error(`no module ${name} in a web worker`);
};
importScripts('/extension/dist/web.js');
self.module.exports.activate({ extensionUri: new Uri('http', '/extension'), globalStorageUri: new Uri('memory', '/storage'), subscriptions: [] });

self.onmessage = async ({ data }) => {
  const { text, languageId, selections, command, args, settings, toggleEntry } = data;
  files.clear();
  if (settings) files.set('memory:/storage/Marquill_Setting.txt', new Uint8Array(settings));
  config.toggleEntry = toggleEntry ?? null;
  shown.length = 0;
  editor = makeEditor(text, languageId, selections);
  try {
    await commands.get(command)(args);
    postMessage({ text: editor.text(), shown: [...shown],
      selections: editor.selections.map((s) => [s.anchor.line, s.anchor.character, s.active.line, s.active.character]) });
  } catch (e) {
    postMessage({ error: String(e?.stack ?? e) });
  }
};
postMessage({ ready: true });
