// Runs the marquill filter bundled with the extension: its menu and entries, and its edits.
import { spawn } from 'child_process';
import * as fs from 'fs';
import * as os from 'os';
import * as path from 'path';

/** One entry of the settings file, as `marquill entries --format=json` describes it. */
export interface Entry {
  number: number;
  symbol: string;
  caption: string;
  label: string;
  shortcut: string;
  entry: string;
}

/** One item of the plug-in's menu: the filter's arguments for it, or another action. */
export interface MenuItem {
  group: string | null;
  caption: string;
  action: 'edit' | 'edit-settings' | 'cancel';
  per_entry: boolean;
  args: string[];
}

/** A verb of the filter and the options it takes. */
export interface Command {
  verb: string;
  options: { name: string; short?: string; values?: string[] }[];
}

export interface Listing {
  version: string;
  /** error: the filter's message when the file exists but cannot be read; it has no entries then. */
  settings: { path: string; exists: boolean; encoding: string; line_break: string; error?: string };
  entries: Entry[];
  menu: { entry_limit: number; items: MenuItem[] };
  commands: Command[];
}

/** A failure to show the user as it is. */
export class FilterError extends Error {}

/** The filter built for this platform: one for Linux x64, the 32-bit one for every Windows. */
export function filterProgram(extensionPath: string): string {
  const name = process.platform === 'win32' ? 'win32/marquill.exe'
    : `${process.platform}-${process.arch}/marquill`;
  const program = path.join(extensionPath, 'bin', name);
  if (!fs.existsSync(program)) {
    throw new FilterError(`Marquill: this extension has no filter for ${process.platform}-${process.arch}`);
  }
  if (process.platform !== 'win32') {
    try {
      fs.accessSync(program, fs.constants.X_OK);
    } catch {
      fs.chmodSync(program, 0o755); // an unpacker that dropped the mode
    }
  }
  return program;
}

interface Run { code: number | null; stdout: Buffer; stderr: string }

function run(program: string, args: string[], input: string): Promise<Run> {
  return new Promise((resolve, reject) => {
    const child = spawn(program, args, { stdio: ['pipe', 'pipe', 'pipe'], windowsHide: true });
    const out: Buffer[] = [];
    const err: Buffer[] = [];
    child.stdout.on('data', (b: Buffer) => out.push(b));
    child.stderr.on('data', (b: Buffer) => err.push(b));
    // The filter may refuse its arguments before it reads: a closed pipe is no failure of ours.
    child.stdin.on('error', () => undefined);
    child.on('error', (e) => reject(new FilterError(`Marquill: cannot run ${program}: ${e.message}`)));
    child.on('close', (code) => resolve({
      code, stdout: Buffer.concat(out), stderr: Buffer.concat(err).toString('utf8').trim(),
    }));
    child.stdin.end(input, 'utf8');
  });
}

function failure(result: Run): FilterError {
  const how = result.code === null ? 'was stopped' : `exited with status ${result.code}`;
  return new FilterError(result.stderr || `marquill ${how}`);
}

function settingsArgs(settingsFile: string): string[] {
  return settingsFile ? ['--settings', settingsFile] : [];
}

/** The menu, the entries and the settings file in effect. */
export async function listing(program: string, settingsFile: string): Promise<Listing> {
  const result = await run(program, ['entries', '--format=json', ...settingsArgs(settingsFile)], '');
  if (result.code !== 0) {
    throw failure(result);
  }
  return JSON.parse(result.stdout.toString('utf8')) as Listing;
}

const known = new Map<string, Promise<Command[]>>();

/** The verbs and their options. They depend on the program alone: asked once, with a settings file
 * that does not exist, so that the user's settings cannot make it fail. */
function commands(program: string): Promise<Command[]> {
  let got = known.get(program);
  if (!got) {
    const none = path.join(os.tmpdir(), `marquill-none-${process.pid}-${Date.now()}`);
    got = listing(program, none).then((list) => list.commands);
    got.catch(() => known.delete(program));
    known.set(program, got);
  }
  return got;
}

export interface Edit {
  args: string[];
  entry?: string;
  tabWidth: number;
  settingsFile: string;
}

/** The filter's result on TEXT. */
export async function filterText(program: string, edit: Edit, text: string): Promise<string> {
  const verb = (await commands(program)).find((command) => command.verb === edit.args[0]);
  const args = [...edit.args, '--stdin-only'];
  if (verb?.options.some((option) => option.name === '--tab-width')) {
    args.push('--tab-width', String(edit.tabWidth));
  }
  if (edit.entry !== undefined) {
    args.push('--entry', edit.entry);
  }
  const result = await run(program, [...args, ...settingsArgs(edit.settingsFile)], text);
  if (result.code !== 0) {
    throw failure(result);
  }
  return result.stdout.toString('utf8');
}
