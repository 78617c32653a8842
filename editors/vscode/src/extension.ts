// Marquill's commands: the plug-in's menu as Quick Picks, the toggle and the single edits,
// each run by the bundled filter on the whole lines of every selection.
import * as vscode from 'vscode';
import { Entry, FilterError, Listing, MenuItem, filterProgram, filterText, listing } from './filter';
import { coveredLines, documentMessage, joinLines, lineEdits, splitLines } from './lines';

/** Keybinding arguments of the single edits; what is missing is asked for. */
interface EditArgs { entry?: number | string; at?: string; lines?: string }

/** The filter's names for the settings file's encodings, as VS Code names them. */
const vscodeEncodings: Record<string, string> = {
  'utf-8': 'utf8', 'utf-8-bom': 'utf8bom', 'cp932': 'shiftjis', 'utf-16le': 'utf16le', 'utf-16be': 'utf16be',
};

function settingsFile(): string {
  return vscode.workspace.getConfiguration('marquill').get<string>('settingsFile', '').trim();
}

function itemLabel(item: MenuItem): string {
  return item.group ? `${item.group} › ${item.caption}` : item.caption;
}

async function pickEntry(list: Listing): Promise<Entry | undefined> {
  if (list.settings.error) {
    throw new FilterError(list.settings.error);
  }
  if (!list.settings.exists) {
    throw new FilterError(`Marquill: the settings file ${list.settings.path} does not exist`);
  }
  if (list.entries.length === 0) {
    throw new FilterError(`Marquill: the settings file ${list.settings.path} has no entry`);
  }
  const picks = list.entries.slice(0, list.menu.entry_limit)
    .map((entry) => ({ label: entry.label, description: entry.shortcut, entry }));
  const pick = await vscode.window.showQuickPick(picks, { placeHolder: list.settings.path });
  return pick?.entry;
}

async function pickItem(items: MenuItem[]): Promise<MenuItem | undefined> {
  const pick = await vscode.window.showQuickPick(items.map((item) => ({ label: itemLabel(item), item })),
    { placeHolder: 'Marquill' });
  return pick?.item;
}

function activeEditor(): vscode.TextEditor {
  const editor = vscode.window.activeTextEditor;
  if (!editor) {
    throw new FilterError('Marquill: no editor is active');
  }
  return editor;
}

/** Runs the filter on the whole lines of every selection and replaces the lines it changed, as one undo step. */
async function editLines(context: vscode.ExtensionContext, args: string[], entry: string | undefined): Promise<void> {
  const editor = activeEditor();
  const document = editor.document;
  const version = document.version;
  const eol = document.eol === vscode.EndOfLine.CRLF ? '\r\n' : '\n';
  const lines = coveredLines(editor.selections);
  const before = lines.map((line) => document.lineAt(line).text);
  const tabWidth = typeof editor.options.tabSize === 'number' ? editor.options.tabSize : 4;
  const edit = { args, entry, tabWidth, settingsFile: settingsFile() };
  let output: string;
  try {
    output = await filterText(filterProgram(context.extensionPath), edit, joinLines(before, eol));
  } catch (e) {
    throw e instanceof FilterError
      ? new FilterError(documentMessage(e.message, vscode.workspace.asRelativePath(document.uri), lines, before))
      : e;
  }
  const after = splitLines(output, eol, lines.length);
  if (!after) {
    throw new FilterError('Marquill: the filter gave a different number of lines; nothing was changed');
  }
  if (document.version !== version) {
    throw new FilterError('Marquill: the document changed while the filter ran; nothing was changed');
  }
  const edits = lineEdits(lines, before, after);
  if (edits.length === 0) {
    return;
  }
  const done = await editor.edit((builder) => {
    for (const e of edits) {
      builder.replace(new vscode.Range(e.line, e.from, e.line, e.to), e.text);
    }
  });
  if (!done) {
    throw new FilterError('Marquill: the document could not be changed');
  }
}

/** Opens the settings file in its own encoding (a new one at its path when there is none). */
async function editSettings(list: Listing): Promise<void> {
  const file = vscode.Uri.file(list.settings.path);
  if (!list.settings.exists) {
    await vscode.window.showTextDocument(file.with({ scheme: 'untitled' }));
    return;
  }
  const encoding = vscodeEncodings[list.settings.encoding];
  const document = await vscode.workspace.openTextDocument(file, encoding ? { encoding } : undefined);
  await vscode.window.showTextDocument(document);
}

async function menu(context: vscode.ExtensionContext): Promise<void> {
  const list = await listing(filterProgram(context.extensionPath), settingsFile());
  const item = await pickItem(list.menu.items);
  if (!item || item.action === 'cancel') {
    return;
  }
  if (item.action === 'edit-settings') {
    return editSettings(list);
  }
  activeEditor();
  let entry: Entry | undefined;
  if (item.per_entry && !(entry = await pickEntry(list))) {
    return;
  }
  return editLines(context, item.args, entry?.entry);
}

/** The toggle, with the keybinding's entry or else that of marquill.toggleEntry for the document's language. */
async function toggle(context: vscode.ExtensionContext, given: EditArgs | undefined): Promise<void> {
  const document = activeEditor().document;
  const entry = given?.entry ?? vscode.workspace.getConfiguration('marquill', document).get<number | string>('toggleEntry', 1);
  return editLines(context, ['toggle'], String(entry));
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
  activeEditor();
  let filterArgs = [verb];
  if (verb === 'insert') {
    filterArgs.push(...(args.at === undefined ? [] : ['--at', args.at]), ...(args.lines === undefined ? [] : ['--lines', args.lines]));
  }
  const list = await listing(filterProgram(context.extensionPath), settingsFile());
  const items = list.menu.items.filter((item) => itemMatches(item, verb, args));
  const complete = verb !== 'insert' || (args.at !== undefined && args.lines !== undefined);
  let chosen: MenuItem | undefined = items[0];
  if (!complete && items.length > 0) {
    if (!(chosen = await pickItem(items))) {
      return;
    }
    filterArgs = chosen.args;
  }
  let entry: string | undefined;
  if (chosen?.per_entry ?? true) {
    entry = args.entry === undefined ? (await pickEntry(list))?.entry : String(args.entry);
    if (entry === undefined) {
      return;
    }
  }
  return editLines(context, filterArgs, entry);
}

function command(context: vscode.ExtensionContext, name: string, body: (...args: any[]) => Promise<void>): void {
  context.subscriptions.push(vscode.commands.registerCommand(name, async (...args: any[]) => {
    try {
      await body(...args);
    } catch (e) {
      // Every failure ends here, shown to the user; nothing was changed.
      const message = e instanceof Error ? e.message : String(e);
      void vscode.window.showErrorMessage(message);
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
