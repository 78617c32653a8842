// The settings file: where it is, its bytes given to the engine, the starter list when there
// is none, and opening it to edit with tabs kept.
import * as vscode from 'vscode';
import { Engine, Listing, SETTINGS_PATH, SettingsDetails } from './engine';

/** The filter's names for the settings file's encodings, as VS Code names them. */
const vscodeEncodings: Record<string, string> = {
  'utf-8': 'utf8', 'utf-8-bom': 'utf8bom', 'cp932': 'shiftjis', 'utf-16le': 'utf16le', 'utf-16be': 'utf16be',
};

export interface Loaded { uri: vscode.Uri; exists: boolean; list: Listing; details?: SettingsDetails }

/** A message meant for the user, shown as it is. */
export class UserError extends Error {}

/** The file that marquill.settingsFile names; else the filter's default place, as the C++ finds it from
 *  the environment (desktop), or the extension's own storage (the web, which has no home folder). */
export function settingsUri(context: vscode.ExtensionContext, engine: Engine): vscode.Uri {
  const configured = vscode.workspace.getConfiguration('marquill').get<string>('settingsFile', '').trim();
  if (configured) {
    return vscode.Uri.file(configured);
  }
  const found = engine.defaultSettingsPath();
  return found ? vscode.Uri.file(found) : vscode.Uri.joinPath(context.globalStorageUri, 'Marquill_Setting.txt');
}

/** The path as messages name it. */
export function shownPath(uri: vscode.Uri): string {
  return uri.scheme === 'file' ? uri.fsPath : uri.toString(true);
}

async function readBytes(uri: vscode.Uri): Promise<Uint8Array | undefined> {
  try {
    return await vscode.workspace.fs.readFile(uri);
  } catch (e) {
    if (e instanceof vscode.FileSystemError && e.code === 'FileNotFound') {
      return undefined;
    }
    throw new UserError(vscode.l10n.t('Marquill: cannot read the settings file {0}', shownPath(uri)));
  }
}

/** The engine's messages name the file by its place in memory: the user's path instead. */
export function withUserPath(message: string, uri: vscode.Uri): string {
  return message.split(SETTINGS_PATH).join(shownPath(uri));
}

/** The filter's "(byte N)" (in Japanese "（N バイト目）", N from 1) in the settings file's BYTES told
 *  as a line and column (from 1, the column in bytes, as the bad bytes are no characters), and no
 *  hint for its command line. */
export function placeOfOffset(message: string, bytes: Uint8Array): string {
  const hint = /; try --\S+$|。--\S+ を試してください$/;
  return message.replace(hint, '').replace(/\(byte (\d+)\)|（(\d+) バイト目）/, (_, english?: string, japanese?: string) => {
    const end = Math.min(Math.max(Number(english ?? japanese) - 1, 0), bytes.length);
    let line = 1;
    let start = 0;
    for (let i = 0; i < end; i++) {
      if (bytes[i] === 0x0a || (bytes[i] === 0x0d && bytes[i + 1] !== 0x0a)) {
        line++;
        start = i + 1;
      }
    }
    return vscode.l10n.t('(line {0}, column {1})', line, end - start + 1);
  });
}

const reported = new Set<string>();

/** Reads the settings file into the engine and lists it; tells once about lines it leaves out. */
export async function loadSettings(context: vscode.ExtensionContext, engine: Engine): Promise<Loaded> {
  const uri = settingsUri(context, engine);
  const bytes = await readBytes(uri);
  engine.setSettings(bytes);
  const list = engine.listing();
  list.settings.path = shownPath(uri);
  if (list.settings.error && bytes) {
    list.settings.error = placeOfOffset(withUserPath(list.settings.error, uri).replace(/^marquill: /, ''), bytes);
  }
  const details = bytes ? engine.details() : undefined;
  const key = `${uri.toString()}\n${details?.ignored.join(',')}`;
  if (details && details.ignored.length > 0 && !reported.has(key)) {
    reported.add(key);
    void vscode.window.showWarningMessage(vscode.l10n.t(
      'Marquill: the settings file {0} leaves out line {1}: an entry is a symbol, a tab and a caption',
      shownPath(uri), details.ignored.join(vscode.l10n.t(', '))));
  }
  return { uri, exists: bytes !== undefined, list, details };
}

/** Shows the settings file with tabs typed as tabs, in its own encoding. */
export async function openSettings(uri: vscode.Uri, encoding: string | undefined): Promise<void> {
  const name = encoding ? vscodeEncodings[encoding] : undefined;
  const document = await vscode.workspace.openTextDocument(uri, name ? { encoding: name } : undefined);
  const editor = await vscode.window.showTextDocument(document);
  editor.options = { insertSpaces: false };
}

/** Offers the starter list where there is no settings file; true when it was made and opened. */
export async function offerStarter(context: vscode.ExtensionContext, uri: vscode.Uri): Promise<boolean> {
  const create = vscode.l10n.t('Create from the starter list');
  const answer = await vscode.window.showWarningMessage(
    vscode.l10n.t('Marquill: there is no settings file {0}; create it from the starter list, or name yours in the setting marquill.settingsFile', shownPath(uri)),
    create);
  if (answer !== create) {
    return false;
  }
  const starter = await vscode.workspace.fs.readFile(vscode.Uri.joinPath(context.extensionUri, 'Marquill_Setting.txt'));
  await vscode.workspace.fs.createDirectory(vscode.Uri.joinPath(uri, '..'));
  await vscode.workspace.fs.writeFile(uri, starter);
  await openSettings(uri, 'utf-8');
  return true;
}
