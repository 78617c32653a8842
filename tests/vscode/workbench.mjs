// Starts code-server with the extension installed and drives its web client in headless
// Chromium: commands, Quick Picks, keys and notifications, as a user would.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { chromium } from 'playwright-core';

const STATE_TIMEOUT = 30_000;

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

/** Resolves when the child's output matches PATTERN; rejects when it ends first. */
function outputMatch(child, pattern, log) {
  return new Promise((resolve, reject) => {
    let seen = '';
    const look = (chunk) => {
      seen += chunk;
      log.push(String(chunk));
      if (pattern.test(seen)) resolve();
    };
    child.stdout.on('data', look);
    child.stderr.on('data', look);
    child.on('exit', (code) => reject(new Error(`code-server ended (${code}):\n${seen}`)));
  });
}

/** A waited state: polls CHECK until it gives a value other than undefined. */
export async function until(what, check, timeout = STATE_TIMEOUT) {
  const end = Date.now() + timeout;
  for (;;) {
    const value = await check();
    if (value !== undefined) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

/** code-server in ROOT (fresh data, extensions and config folders) showing FOLDER. */
export async function startServer({ codeServer, node, vsix, root, folder, settings, keybindings }) {
  const data = path.join(root, 'data');
  const common = ['--user-data-dir', data, '--extensions-dir', path.join(root, 'extensions'),
    '--config', path.join(root, 'config.yaml')];
  fs.mkdirSync(path.join(data, 'User'), { recursive: true });
  fs.writeFileSync(path.join(root, 'config.yaml'), 'auth: none\ncert: false\n');
  fs.writeFileSync(path.join(data, 'User', 'settings.json'), JSON.stringify(settings, null, 2));
  fs.writeFileSync(path.join(data, 'User', 'keybindings.json'), JSON.stringify(keybindings, null, 2));
  const entry = path.join(codeServer, 'out', 'node', 'entry.js');
  const env = { ...process.env, HOME: root, XDG_CONFIG_HOME: path.join(root, 'xdg'), XDG_DATA_HOME: path.join(root, 'xdg') };
  delete env.MARQUILL_SETTINGS;
  execFileSync(node, [entry, ...common, '--install-extension', vsix], { env, stdio: 'pipe' });
  const port = await freePort();
  const child = spawn(node, [entry, ...common, '--auth', 'none', '--disable-telemetry', '--disable-update-check',
    '--disable-workspace-trust', '--bind-addr', `127.0.0.1:${port}`], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  const log = [];
  await outputMatch(child, /HTTP server listening on/, log);
  return { child, log, url: `http://127.0.0.1:${port}/?folder=${encodeURIComponent(folder)}` };
}

/** Headless Chromium with a fresh profile, showing the workbench at URL. */
export async function openWorkbench(url, profile) {
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.MARQUILL_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1280, height: 900 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const page = context.pages()[0] ?? await context.newPage();
  await page.goto(url);
  await page.locator('.monaco-workbench .part.editor').waitFor({ timeout: 60_000 });
  await page.locator('.explorer-folders-view').waitFor({ timeout: 60_000 });
  return { context, page, workbench: new Workbench(page) };
}

/** What a user does in the workbench. */
export class Workbench {
  constructor(page) {
    this.page = page;
    this.input = page.locator('.quick-input-widget .quick-input-box input');
  }

  /** The Quick Pick's rows as shown: label and description. */
  async pickRows() {
    await this.input.waitFor();
    return this.page.locator('.quick-input-list .monaco-list-row').evaluateAll((rows) => rows.map((row) => ({
      label: row.querySelector('.label-name')?.textContent ?? '',
      description: row.querySelector('.label-description')?.textContent ?? '',
    })));
  }

  /** Chooses the row labelled LABEL in the open Quick Pick by typing it (or TYPED). */
  async pick(label, typed = label) {
    await this.input.waitFor();
    await this.input.fill(typed);
    const focused = this.page.locator('.quick-input-list .monaco-list-row.focused .label-name');
    await until(`"${label}" in the Quick Pick`, async () =>
      (await focused.count()) === 1 && (await focused.textContent()) === label ? true : undefined);
    await this.page.keyboard.press('Enter');
  }

  /** Runs a command from the palette by its title. */
  async command(title) {
    await this.page.keyboard.press('F1');
    await this.pick(title, `>${title}`);
  }

  async open(file) {
    await this.page.keyboard.press('Control+P');
    await this.input.waitFor();
    await this.input.fill(file);
    const focused = this.page.locator('.quick-input-list .monaco-list-row.focused .label-name');
    await until(`${file} in Quick Open`, async () => (await focused.count()) === 1 && (await focused.textContent()) === file ? true : undefined);
    await this.page.keyboard.press('Enter');
    await this.page.locator(`.tabs-container .tab.active[data-resource-name="${file}"]`).waitFor();
    await this.page.locator('.editor-group-container.active .monaco-editor.focused').waitFor();
  }

  /** Puts the cursor at the start of LINE (from 1). */
  async goToLine(line) {
    await this.page.keyboard.press('Control+G');
    await this.input.waitFor();
    await this.input.fill(`:${line}`);
    await this.page.keyboard.press('Enter');
    await this.page.locator('.quick-input-widget').waitFor({ state: 'hidden' });
  }

  async press(...keys) {
    for (const key of keys) await this.page.keyboard.press(key);
  }

  async dirty(file, yes) {
    const tab = this.page.locator(`.tabs-container .tab.active.dirty[data-resource-name="${file}"]`);
    await tab.waitFor({ state: yes ? 'visible' : 'detached' });
  }

  /** Saves the active editor and waits until it is saved. */
  async save(file) {
    await this.page.keyboard.press('Control+S');
    await this.dirty(file, false);
  }

  /** The text of the notification that says TEXT, once it shows. */
  async notification(text) {
    const toast = this.page.locator('.notifications-toasts .notification-toast', { hasText: text });
    await toast.first().waitFor();
    return toast.first().textContent();
  }
}
