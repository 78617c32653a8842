#!/usr/bin/env node
// The 100,000-line toggle in code-server: Marquill's Toggle Quote or Line Comment against
// VS Code's own Toggle Line Comment (Ctrl+/) on the same Python file, in turns, each timed from
// the key to the edited document (median of the rounds, in seconds).
// Usage (from the checkout, after a build): . scripts/node-env.sh &&
//   node bench/vscode-toggle.mjs build/native/tests/vscode/marquill.vsix [ROUNDS]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const top = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
// The test's helpers (with playwright-core from the test's own folder).
const { openWorkbench, startServer } = await import(path.join(top, 'tests', 'vscode', 'workbench.mjs'));

const vsix = path.resolve(process.argv[2] ?? path.join(top, 'build/native/tests/vscode/marquill.vsix'));
const rounds = Number(process.argv[3] ?? 5);
const root = fs.mkdtempSync(path.join(os.tmpdir(), 'marquill-bench-'));
const folder = path.join(root, 'workspace');
fs.mkdirSync(folder);
const lines = Array.from({ length: 100_000 }, (_, i) => `${'    '.repeat(1 + (i % 3))}value_${i} = ${i}`);
const original = `${lines.join('\n')}\n`;
fs.writeFileSync(path.join(folder, 'big.py'), original);
const settings = { 'files.autoSave': 'off', 'workbench.startupEditor': 'none', 'editor.largeFileOptimizations': false,
  'telemetry.telemetryLevel': 'off', 'extensions.autoUpdate': false, 'update.mode': 'none', 'git.enabled': false };
const server = await startServer({ codeServer: path.join(top, 'build/code-server/node_modules/code-server'),
  node: process.execPath, vsix, root, folder, settings, keybindings: [] });
const browser = await openWorkbench(server.url, path.join(root, 'chromium'));
const { workbench, page } = browser;

/** Seconds from KEY to the document shown edited, then undone and checked. */
async function timed(key) {
  await workbench.press('Control+A');
  const start = performance.now();
  await workbench.press(key);
  await page.locator('.tabs-container .tab.active.dirty[data-resource-name="big.py"]').waitFor({ timeout: 300_000 });
  const seconds = (performance.now() - start) / 1000;
  console.error(`${key}: ${seconds.toFixed(2)} s`);
  await workbench.save('big.py');
  const edited = fs.readFileSync(path.join(folder, 'big.py'), 'utf8');
  if (!edited.split('\n').slice(0, -1).every((l) => /^ *# /.test(l))) throw new Error(`${key} did not comment every line`);
  await workbench.press('Control+Z');
  await workbench.save('big.py');
  if (fs.readFileSync(path.join(folder, 'big.py'), 'utf8') !== original) throw new Error(`undo after ${key} gave another text`);
  return seconds;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
try {
  await workbench.open('big.py');
  const times = { 'Ctrl+/': [], Marquill: [] };
  for (let round = 0; round < rounds; round++) {
    times['Ctrl+/'].push(await timed('Control+Slash'));
    times.Marquill.push(await timed('Control+Alt+Semicolon'));
  }
  for (const [name, xs] of Object.entries(times)) {
    console.log(`${name.padEnd(9)} median ${median(xs).toFixed(2)} s  (${xs.map((x) => x.toFixed(2)).join(' ')})`);
  }
  console.log(`Marquill / Ctrl+/: ${(median(times.Marquill) / median(times['Ctrl+/'])).toFixed(2)}`);
} catch (e) {
  await page.screenshot({ path: `${root}-failed.png` }).catch(() => undefined);
  throw e;
} finally {
  await browser.context.close();
  server.child.kill();
  fs.rmSync(root, { recursive: true, force: true });
}
