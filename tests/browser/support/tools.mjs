// The project's programs as a person runs them: a demo site (ERP, store, settings) in a scratch
// application folder, kvcradle on a loopback port, and kvctl's waiting send and receive.
import { spawn, execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const BIN = process.env.KV_BIN_DIR;
if (!BIN) throw new Error('KV_BIN_DIR must name the built tools (ctest sets it)');

export function program(name) {
  return path.join(BIN, name);
}

export function run(name, args, { home } = {}) {
  return new Promise((resolve) => {
    execFile(program(name), home ? ['--home', home, ...args] : args, { timeout: 120000, maxBuffer: 64 << 20 },
      (error, stdout, stderr) => resolve({ code: error ? (error.code ?? 1) : 0, stdout, stderr }));
  });
}

async function mustRun(name, args, options) {
  const r = await run(name, args, options);
  if (r.code !== 0) throw new Error(`${name} ${args.join(' ')} failed (${r.code}): ${r.stderr}`);
  return r;
}

// The demo of ./run: kverp's ERP with 300 clients, an empty store, device 1 filtered by vendors
// (the other devices have no filter).
export async function makeSite() {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'kvmovil-test-'));
  const erp = path.join(home, 'erp-demo.db');
  await mustRun('kverp', ['init', '--sqlite', erp, '--clients', '300']);
  await mustRun('kvctl', ['store', 'init', path.join(home, 'kvpalmsync.mdb')], { home });
  fs.writeFileSync(path.join(home, 'CN000pr.INI'),
    ['[General]', 'BaseDeDatos=kvpalmsync.mdb', '', '[PARAMETROS PALM Nº 1]', 'NOMBRE=Ruta Norte', 'REPARTO=1,2', ''].join('\n'),
    { mode: 0o600 });
  const launch = `@Motor=sqlite;@Server=local;@DbName=${erp};@Usuario=admin;@Password=admin;`;
  // The ERP's launch string for kvcradle's exchanges, owner-only as it requires.
  const launchFile = path.join(home, 'launch');
  fs.writeFileSync(launchFile, launch, { mode: 0o600 });
  return { home, erp, store: path.join(home, 'kvpalmsync.mdb'), launch, launchFile, remove: () => fs.rmSync(home, { recursive: true, force: true }) };
}

// Waits, bounded in time, until `test` holds for what a process has printed so far.
function waitFor(child, test, what, ms = 30000) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`timed out waiting for ${what}: ${child.output}`)), ms);
    const check = () => {
      if (test(child.output)) { clearTimeout(timer); resolve(); }
    };
    child.onOutput.push(check);
    child.process.on('exit', () => { clearTimeout(timer); test(child.output) ? resolve() : reject(new Error(`${what}: the program ended: ${child.output}`)); });
    check();
  });
}

function start(name, args) {
  const child = { process: spawn(program(name), args, { stdio: ['ignore', 'pipe', 'pipe'] }), output: '', onOutput: [], code: null };
  for (const s of [child.process.stdout, child.process.stderr]) {
    s.setEncoding('utf8');
    s.on('data', (d) => { child.output += d; for (const f of child.onOutput) f(); });
  }
  child.ended = new Promise((resolve) => child.process.on('exit', (code, signal) => { child.code = code ?? signal; resolve(child.code); }));
  return child;
}

// kvcradle with the ERP's launch string, so it takes exchanges; without it (`exchanges: false`)
// it takes only the syncs an operator waits for.
export async function startCradle(site, { exchanges = true } = {}) {
  const c = start('kvcradle', ['--home', site.home, '--listen', '127.0.0.1:0', ...(exchanges ? ['--launch-file', site.launchFile] : [])]);
  await waitFor(c, (o) => /listening on http:\/\/127\.0\.0\.1:\d+/.test(o), 'kvcradle to listen');
  c.url = /listening on (http:\/\/127\.0\.0\.1:\d+)/.exec(c.output)[1];
  c.stop = async () => { c.process.kill('SIGTERM'); await c.ended; };
  return c;
}

// The rows per master table device N's send carries, as `kvctl preview` counts them.
export async function previewRows(site, device) {
  const r = await mustRun('kvctl', ['--launch', site.launch, 'preview', String(device), '--format', 'json'], { home: site.home });
  return Object.fromEntries(JSON.parse(r.stdout).tables.map((t) => [t.table, t.rows]));
}

// One statement on an SQLite file with the sqlite3 shell (an ERP trigger, say).
export async function sqlite(file, statement) {
  return new Promise((resolve, reject) => execFile('sqlite3', [file, statement], { timeout: 30000 },
    (error, stdout, stderr) => (error ? reject(new Error(`sqlite3: ${stderr}`)) : resolve(stdout))));
}

// `kvctl send 1` or `receive 1`, returned once it waits for the handheld's sync.
export async function startWait(site, command, device = 1) {
  const c = start('kvctl', ['--home', site.home, '--launch', site.launch, command, String(device), '--timeout', '300']);
  await waitFor(c, (o) => o.includes('Del Dispositivo'), `kvctl ${command} to wait`);
  c.running = () => c.code === null;
  // Bounded: a wait that no sync ends is cancelled, so no test leaves it behind.
  c.finish = async (ms = 60000) => {
    const timer = setTimeout(() => c.process.kill('SIGTERM'), ms);
    await c.ended;
    clearTimeout(timer);
    return c.code;
  };
  return c;
}
