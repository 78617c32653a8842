// Marquill's commands: the plug-in's menu as Quick Picks, the toggle and the single edits, each
// done by the filter's C++ (built as WebAssembly) on the whole lines of the selections.
import * as vscode from 'vscode';
import { Engine, EngineError, Entry, Listing, MenuItem } from './engine';
import { commentForms } from './languages';
import { Choice, EditArgs, editLines } from './edits';
import { Loaded, UserError, loadSettings, offerStarter, openSettings, withUserPath } from './settings';

let engine: Promise<Engine> | undefined = undefined;

function engineOf(context: vscode.ExtensionContext): Promise<Engine> {
  if (!engine) {
    const host = typeof process === 'object' && process.versions?.node ? { ...process.env } : undefined;
    if (host && process.platform === 'win32' && !host.MARQUILL_SETTINGS && host.APPDATA) {
      host.MARQUILL_SETTINGS = `${host.APPDATA}\\Marquill\\Marquill_Setting.txt`;
    }
    const dist = vscode.Uri.joinPath(context.extensionUri, 'dist');
    engine = Promise.resolve(vscode.workspace.fs.readFile(vscode.Uri.joinPath(dist, 'marquill.wasm')))
      .then((bytes) => Engine.create(bytes, host, vscode.env.language))
      .then(async (made) => {
        // The user's language, where the filter has a catalogue for it.
        const tag = vscode.env.language.split('-')[0];
        const catalogue = vscode.Uri.joinPath(dist, 'locale', tag, 'LC_MESSAGES', 'marquill.mo');
        const bytes = await Promise.resolve(vscode.workspace.fs.readFile(catalogue)).catch(() => undefined);
        if (bytes) made.setCatalogue(bytes);
        return made;
      });
    engine.catch(() => { engine = undefined; });
  }
  return engine;
}

/** The settings with entries to choose from; undefined when the user was offered the starter list. */
async function withEntries(context: vscode.ExtensionContext, loaded: Loaded): Promise<Listing | undefined> {
  const list = loaded.list;
  if (!loaded.exists) {
    await offerStarter(context, loaded.uri);
    return undefined;
  }
  if (list.settings.error) {
    throw new UserError(vscode.l10n.t('Marquill: {0}', list.settings.error));
  }
  if (list.entries.length === 0) {
    throw new UserError(vscode.l10n.t('Marquill: the settings file {0} has no entry: each line is a symbol, a tab and a caption', list.settings.path));
  }
  return list;
}

async function pickEntry(context: vscode.ExtensionContext, loaded: Loaded): Promise<Entry | undefined> {
  const list = await withEntries(context, loaded);
  if (!list) {
    return undefined;
  }
  const picks = list.entries.slice(0, list.menu.entry_limit).map((entry, i) => ({
    label: loaded.details?.captions[i] ?? entry.label, description: entry.symbol, entry,
  }));
  const pick = await vscode.window.showQuickPick(picks, {
    placeHolder: vscode.l10n.t('Entry (symbol, caption or access key)'), matchOnDescription: true,
  });
  return pick?.entry;
}

function itemLabel(item: MenuItem): string {
  return item.group ? `${item.group} › ${item.caption}` : item.caption;
}

async function pickItem(items: MenuItem[]): Promise<MenuItem | undefined> {
  const pick = await vscode.window.showQuickPick(items.map((item) => ({ label: itemLabel(item), item })),
    { placeHolder: 'Marquill' });
  return pick?.item;
}

async function editSettings(context: vscode.ExtensionContext, loaded: Loaded): Promise<void> {
  if (!loaded.exists) {
    await offerStarter(context, loaded.uri);
    return;
  }
  await openSettings(loaded.uri, loaded.list.settings.encoding);
}

async function menu(context: vscode.ExtensionContext): Promise<void> {
  const e = await engineOf(context);
  const loaded = await loadSettings(context, e);
  const item = await pickItem(loaded.list.menu.items);
  if (!item || item.action === 'cancel') {
    return;
  }
  if (item.action === 'edit-settings') {
    return editSettings(context, loaded);
  }
  let entry: Entry | undefined = undefined;
  if (item.per_entry && !(entry = await pickEntry(context, loaded))) {
    return;
  }
  if (!item.per_entry && !(await withEntries(context, loaded))) {
    return;
  }
  return editLines(e, loaded, item.args, { entry: entry?.entry }, false);
}

/** Whether the user (or a workspace) set marquill.toggleEntry for this document. */
function configuredEntry(document: vscode.TextDocument): string | undefined {
  const v = vscode.workspace.getConfiguration('marquill', document).inspect<number | string | null>('toggleEntry');
  const value = v?.workspaceFolderLanguageValue ?? v?.workspaceLanguageValue ?? v?.globalLanguageValue ??
    v?.workspaceFolderValue ?? v?.workspaceValue ?? v?.globalValue;
  return value === undefined || value === null || value === '' ? undefined : String(value);
}

/** Languages of prose, where a quote mark is the first thought: their toggle takes the first entry. */
const PROSE = new Set(['plaintext', 'markdown', 'email', 'mail', 'eml']);

/** The toggle's symbol: the keybinding's or the setting's entry, else the language's line comment;
 *  the first entry for prose and for a language with no comments. */
async function toggleChoice(document: vscode.TextDocument, given: EditArgs | undefined): Promise<Choice> {
  const entry = given?.entry !== undefined ? String(given.entry) : configuredEntry(document);
  if (entry !== undefined) {
    return { entry };
  }
  const forms = PROSE.has(document.languageId) ? undefined : await commentForms(document.languageId);
  if (forms?.lineComment) {
    return { symbol: `${forms.lineComment} ` };
  }
  if (forms?.blockComment) {
    throw new UserError(vscode.l10n.t(
      'Marquill: {0} has no line comment; choose the toggle\'s entry for it in the setting marquill.toggleEntry',
      document.languageId));
  }
  return { entry: '1' };
}

async function toggle(context: vscode.ExtensionContext, given: EditArgs | undefined): Promise<void> {
  const editor = vscode.window.activeTextEditor;
  if (!editor) {
    throw new UserError(vscode.l10n.t('Marquill: no editor is active'));
  }
  const e = await engineOf(context);
  const choice = await toggleChoice(editor.document, given);
  const loaded = await loadSettings(context, e);
  if (choice.entry !== undefined && !(await withEntries(context, loaded))) {
    return;
  }
  return editLines(e, loaded, ['toggle'], choice, true);
}

/** Whether ITEM is VERB with the given --at and --lines (each when given). */
function itemMatches(item: MenuItem, verb: string, given: EditArgs): boolean {
  const value = (option: string) => {
    const i = item.args.indexOf(option);
    return i < 0 ? undefined : item.args[i + 1];
  };
  return item.action === 'edit' && item.args[0] === verb &&
    (given.at === undefined || value('--at') === given.at) &&
    (given.lines === undefined || value('--lines') === given.lines);
}

/** One of the single edits: VERB with the keybinding's arguments, asking with the menu's items for what is missing. */
async function single(context: vscode.ExtensionContext, verb: string, given: EditArgs | undefined): Promise<void> {
  const args = given ?? {};
  const e = await engineOf(context);
  const loaded = await loadSettings(context, e);
  if (!(await withEntries(context, loaded))) {
    return;
  }
  let filterArgs = [verb];
  if (verb === 'insert') {
    filterArgs.push(...(args.at === undefined ? [] : ['--at', args.at]), ...(args.lines === undefined ? [] : ['--lines', args.lines]));
  }
  const items = loaded.list.menu.items.filter((item) => itemMatches(item, verb, args));
  const complete = verb !== 'insert' || (args.at !== undefined && args.lines !== undefined);
  let chosen: MenuItem | undefined = items[0];
  if (!complete && items.length > 0) {
    if (!(chosen = await pickItem(items))) {
      return;
    }
    filterArgs = chosen.args;
  }
  let entry: string | undefined = undefined;
  if (chosen?.per_entry ?? true) {
    entry = args.entry === undefined ? (await pickEntry(context, loaded))?.entry : String(args.entry);
    if (entry === undefined) {
      return;
    }
  }
  return editLines(e, loaded, filterArgs, { entry }, false);
}

/** The failure as the user reads it: one prefix, the user's path, no internals. */
function messageOf(e: unknown, loaded?: Loaded): string {
  if (e instanceof UserError) {
    return e.message;
  }
  if (e instanceof EngineError) {
    const text = loaded ? withUserPath(e.failure.message, loaded.uri) : e.failure.message;
    return vscode.l10n.t('Marquill: {0}', text);
  }
  if (e instanceof vscode.FileSystemError) {
    return vscode.l10n.t('Marquill: the file could not be read or written ({0})', e.code);
  }
  console.error(e);
  return vscode.l10n.t('Marquill: the command failed; nothing was changed');
}

function command(context: vscode.ExtensionContext, name: string, body: (...args: any[]) => Promise<void>): void {
  context.subscriptions.push(vscode.commands.registerCommand(name, async (...args: any[]) => {
    try {
      await body(...args);
    } catch (e) {
      // Every failure ends here, shown to the user; nothing was changed.
      void vscode.window.showErrorMessage(messageOf(e));
    }
  }));
}

export function activate(context: vscode.ExtensionContext): void {
  command(context, 'marquill.menu', () => menu(context));
  command(context, 'marquill.toggle', (args?: EditArgs) => toggle(context, args));
  command(context, 'marquill.insert', (args?: EditArgs) => single(context, 'insert', args));
  command(context, 'marquill.delete', (args?: EditArgs) => single(context, 'delete', args));
  command(context, 'marquill.deleteOnce', (args?: EditArgs) => single(context, 'delete-once', args));
  command(context, 'marquill.deleteAll', (args?: EditArgs) => single(context, 'delete-all', args));
}

export function deactivate(): void {
  // Nothing runs between commands.
}
