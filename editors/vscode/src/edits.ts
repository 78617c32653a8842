// An edit of the filter's C++ on the whole lines of the selections, put into the document as
// one undo step, with each selection kept on the same text.
import * as vscode from 'vscode';
import { Engine, EngineError } from './engine';
import { LineEdit, coveredLines, documentPlace, joinLines, lineEdit, movedCharacter, spanGroups, splitLines } from './lines';
import { Loaded, UserError } from './settings';

/** Keybinding arguments of the single edits; what is missing is asked for. */
export interface EditArgs { entry?: number | string; at?: string; lines?: string }

/** The symbol of an edit: an entry of the settings file, or a symbol of its own (-e). */
export interface Choice { entry?: string; symbol?: string }

/** Above this many lines the edit shows its progress and can be cancelled. */
const PROGRESS_LINES = 20_000;
/** Above this many changed lines they are replaced as one range: one edit is much quicker. */
const ONE_RANGE_EDITS = 500;

interface Group { lines: number[]; before: string[] }

function choiceArgs(choice: Choice): string[] {
  if (choice.symbol !== undefined) return ['-e', choice.symbol];
  return choice.entry === undefined ? [] : ['--entry', choice.entry];
}

/** The filter's C++ on the group's lines; a fault in them is told by the document's line and column. */
function runEdit(engine: Engine, args: string[], group: Group, eol: string, name: string): string {
  try {
    return engine.edit(args, joinLines(group.before, eol));
  } catch (e) {
    const place = e instanceof EngineError ? documentPlace(e.failure.place, group.lines, group.before) : undefined;
    if (e instanceof EngineError && place) {
      throw new UserError(vscode.l10n.t('Marquill: {0}, line {1}, column {2}: {3}', name, place.line, place.column, e.failure.message));
    }
    throw e;
  }
}

/** The edits of one group of lines, by the filter's C++. */
function editGroup(engine: Engine, loaded: Loaded, args: string[], choice: Choice, group: Group,
  eol: string, tabWidth: number, name: string): LineEdit[] {
  // An empty or blank group gets the toggle's symbol, as Toggle Line Comment puts one there.
  const blank = args[0] === 'toggle' && group.before.every((t) => t.trim() === '');
  const verbArgs = blank ? ['insert', '--at', 'head', '--lines', 'all'] : args;
  const width = engine.takesTabWidth(loaded.list, verbArgs[0]) ? ['--tab-width', String(tabWidth)] : [];
  const output = runEdit(engine, [...verbArgs, ...width, ...choiceArgs(choice)], group, eol, name);
  const after = splitLines(output, eol, group.lines.length);
  if (!after) {
    throw new UserError(vscode.l10n.t('Marquill: the edit gave a different number of lines; nothing was changed'));
  }
  return group.lines.flatMap((line, i) => (group.before[i] === after[i] ? [] : [lineEdit(line, group.before[i], after[i])]));
}

/** The selections after EDITS, each on the same text as before. */
function movedSelections(selections: readonly vscode.Selection[], edits: LineEdit[]): vscode.Selection[] {
  const byLine = new Map(edits.map((e) => [e.line, e]));
  const move = (p: vscode.Position) => {
    const edit = byLine.get(p.line);
    return edit ? new vscode.Position(p.line, movedCharacter(edit, p.character)) : p;
  };
  return selections.map((s) => new vscode.Selection(move(s.anchor), move(s.active)));
}

async function apply(editor: vscode.TextEditor, edits: LineEdit[]): Promise<boolean> {
  const document = editor.document;
  if (edits.length <= ONE_RANGE_EDITS) {
    return editor.edit((builder) => {
      for (const e of edits) builder.replace(new vscode.Range(e.line, e.from, e.line, e.to), e.text);
    });
  }
  const byLine = new Map(edits.map((e) => [e.line, e]));
  const first = edits[0].line;
  const last = edits[edits.length - 1].line;
  const texts: string[] = [];
  for (let line = first; line <= last; line++) {
    const text = document.lineAt(line).text;
    const e = byLine.get(line);
    texts.push(e ? text.slice(0, e.from) + e.text + text.slice(e.to) : text);
  }
  const eol = document.eol === vscode.EndOfLine.CRLF ? '\r\n' : '\n';
  return editor.edit((builder) => builder.replace(new vscode.Range(first, 0, last, document.lineAt(last).text.length), texts.join(eol)));
}

/** Runs ARGS on the whole lines of the selections, each group of touching selections on its own
 *  (PERSELECTION) or all together, and replaces the lines that changed, as one undo step. */
export async function editLines(engine: Engine, loaded: Loaded, args: string[], choice: Choice, perSelection: boolean): Promise<void> {
  const editor = vscode.window.activeTextEditor;
  if (!editor) {
    throw new UserError(vscode.l10n.t('Marquill: no editor is active'));
  }
  const document = editor.document;
  const version = document.version;
  const eol = document.eol === vscode.EndOfLine.CRLF ? '\r\n' : '\n';
  const selections = editor.selections;
  const groups: Group[] = (perSelection ? spanGroups(selections) : [selections.map((_, i) => i)]).map((members) => {
    const lines = coveredLines(members.map((i) => selections[i]));
    return { lines, before: lines.map((line) => document.lineAt(line).text) };
  });
  const tabWidth = typeof editor.options.tabSize === 'number' ? editor.options.tabSize : 4;
  const name = vscode.workspace.asRelativePath(document.uri);
  const work = () => groups.flatMap((g) => editGroup(engine, loaded, args, choice, g, eol, tabWidth, name))
    .sort((a, b) => a.line - b.line);
  const total = groups.reduce((n, g) => n + g.lines.length, 0);
  const edits = total < PROGRESS_LINES ? work() : await vscode.window.withProgress({
    location: vscode.ProgressLocation.Notification, cancellable: true, title: vscode.l10n.t('Marquill: editing {0} lines', total),
  }, async (_progress, token) => {
    await new Promise((resolve) => setTimeout(resolve, 0)); // the notification shows first
    const done = work();
    return token.isCancellationRequested ? undefined : done;
  });
  if (!edits || edits.length === 0) {
    return;
  }
  if (document.isClosed || document.version !== version) {
    throw new UserError(vscode.l10n.t('Marquill: the document changed during the edit; nothing was changed'));
  }
  const moved = movedSelections(selections, edits);
  if (!(await apply(editor, edits))) {
    throw new UserError(vscode.l10n.t('Marquill: the document could not be changed'));
  }
  editor.selections = moved;
}
