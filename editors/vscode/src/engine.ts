// The filter's C++ built as WebAssembly, run inside the extension host (Node or a web worker):
// its listing of the entries and menu, and its edits, on texts and settings held in memory.

/** One entry of the settings file, as the listing describes it. */
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
  /** error: the filter's message when the file cannot be read; it has no entries then. */
  settings: { path: string; exists: boolean; encoding: string; line_break: string; error?: string };
  entries: Entry[];
  menu: { entry_limit: number; items: MenuItem[] };
  commands: Command[];
}

/** What the menu shows beyond the listing: captions with their access keys, lines left out. */
export interface SettingsDetails { captions: string[]; ignored: number[] }

/** A failure of the filter's C++: its exit status, its message and, for bad input, "FILE:LINE:COLUMN". */
export interface Failure { status: number; message: string; place: string }

export class EngineError extends Error {
  constructor(readonly failure: Failure) {
    super(failure.message);
  }
}

interface Module {
  FS: {
    writeFile(path: string, data: Uint8Array): void;
    readFile(path: string): Uint8Array;
    mkdirTree(path: string): void;
    unlink(path: string): void;
  };
  HEAPU8: Uint8Array;
  _malloc(size: number): number;
  _free(pointer: number): void;
  _marquill_run(args: number, size: number): number;
  _marquill_failure(): number;
  _marquill_settings_details(path: number): number;
  _marquill_catalogue(bytes: number, size: number): void;
  UTF8ToString(pointer: number): string;
}

type Factory = (options: object) => Promise<Module>;
// eslint-disable-next-line @typescript-eslint/no-var-requires
import createModule = require('marquill-wasm');
const createMarquill = createModule as unknown as Factory;

/** Where the module keeps the settings file it is given. */
export const SETTINGS_PATH = '/settings/Marquill_Setting.txt';

const encoder = new TextEncoder();
const decoder = new TextDecoder();

/** The C library's locale for a VS Code display language: "ja" is ja.UTF-8, "zh-cn" zh_CN.UTF-8,
 *  English (or a tag that is no language) the C locale. */
export function localeOf(language: string): string {
  const [tag, region] = language.toLowerCase().split('-');
  if (!/^[a-z]{2,3}$/.test(tag) || tag === 'en') return 'C.UTF-8';
  return /^[a-z0-9]+$/.test(region ?? '') ? `${tag}_${region.toUpperCase()}.UTF-8` : `${tag}.UTF-8`;
}

export class Engine {
  private constructor(private readonly module: Module, private readonly hasHome: boolean) {
    module.FS.mkdirTree('/io');
    module.FS.mkdirTree('/settings');
  }

  /** The module made from its bytes (read by the caller from the extension's folder), speaking
   *  LANGUAGE (VS Code's display language, such as "ja" or "en"): never the host's or the
   *  browser's locale, so that the filter's texts match the rest of the screen. */
  /** ENVIRONMENT: the host's variables where it has a file system of its own (desktop), else undefined. */
  static async create(wasmBinary: Uint8Array, environment: Record<string, string | undefined> | undefined,
    language: string): Promise<Engine> {
    const quiet = () => undefined;
    // The C library reads its environment once, as the module starts: set it before.
    const setEnvironment = (made: Module) => {
      const env = (made as unknown as { ENV: Record<string, string> }).ENV;
      env.LANG = localeOf(language);
      env.HOME = '';
      for (const name of ['HOME', 'XDG_CONFIG_HOME', 'MARQUILL_SETTINGS']) {
        const value = environment?.[name];
        if (value) env[name] = value;
      }
    };
    const module = await createMarquill({ wasmBinary, print: quiet, printErr: quiet, preRun: [setEnvironment] });
    return new Engine(module, environment !== undefined);
  }

  /** The settings file the filter would use with no --settings; undefined where it has none. */
  defaultSettingsPath(): string | undefined {
    if (!this.hasHome) {
      return undefined;
    }
    try {
      const list = JSON.parse(decoder.decode(this.run(['entries', '--format=json'], new Uint8Array()))) as Listing;
      return list.settings.path;
    } catch {
      return undefined;
    }
  }

  /** The filter's messages from CATALOGUE (its compiled .mo file for the user's language). */
  setCatalogue(catalogue: Uint8Array): void {
    const m = this.module;
    const pointer = m._malloc(catalogue.length);
    m.HEAPU8.set(catalogue, pointer);
    m._marquill_catalogue(pointer, catalogue.length);
    m._free(pointer);
  }

  /** The settings file's bytes for the next runs; undefined: there is none. */
  setSettings(bytes: Uint8Array | undefined): void {
    try {
      this.module.FS.unlink(SETTINGS_PATH);
    } catch {
      // there was none
    }
    if (bytes) {
      this.module.FS.writeFile(SETTINGS_PATH, bytes);
    }
  }

  /** The filter's command line ARGS on INPUT: its output, or an EngineError. */
  run(args: readonly string[], input: Uint8Array): Uint8Array {
    const m = this.module;
    m.FS.writeFile('/io/input', input);
    const bytes = encoder.encode(args.map((a) => `${a}\0`).join(''));
    const pointer = m._malloc(bytes.length);
    m.HEAPU8.set(bytes, pointer);
    const status = m._marquill_run(pointer, bytes.length);
    m._free(pointer);
    if (status !== 0) {
      throw new EngineError(JSON.parse(m.UTF8ToString(m._marquill_failure())) as Failure);
    }
    const output = m.FS.readFile('/io/output');
    m.FS.writeFile('/io/output', new Uint8Array());
    m.FS.writeFile('/io/input', new Uint8Array());
    return output;
  }

  /** The menu, the entries and the settings file given (setSettings). */
  listing(): Listing {
    const out = this.run(['entries', '--format=json', '--settings', SETTINGS_PATH], new Uint8Array());
    return JSON.parse(decoder.decode(out)) as Listing;
  }

  /** Captions with access keys and the lines left out, of the settings file given; undefined when unreadable. */
  details(): SettingsDetails | undefined {
    const m = this.module;
    const path = encoder.encode(`${SETTINGS_PATH}\0`);
    const pointer = m._malloc(path.length);
    m.HEAPU8.set(path, pointer);
    const json = m.UTF8ToString(m._marquill_settings_details(pointer));
    m._free(pointer);
    return json ? JSON.parse(json) as SettingsDetails : undefined;
  }

  /** The edit ARGS (a verb and its options) on TEXT, with the settings file given or -e SYMBOL in ARGS. */
  edit(args: readonly string[], text: string): string {
    const settings = args.includes('-e') ? [] : ['--settings', SETTINGS_PATH];
    return decoder.decode(this.run([...args, ...settings, '--stdin-only'], encoder.encode(text)));
  }

  /** Whether VERB takes --tab-width. */
  takesTabWidth(list: Listing, verb: string): boolean {
    return list.commands.some((c) => c.verb === verb && c.options.some((o) => o.name === '--tab-width'));
  }
}
