// What a salesperson does on the phone, and what the test reads back from the programs' files.
import assert from 'node:assert/strict';
import { run, startWait } from './tools.mjs';
import { pressSync } from './phone.mjs';
import { rows } from './databases.mjs';

// `kvctl cradle pair N` and the link it prints, through the line at `url`.
export async function pairingLink(site, url, device, renew = false) {
  const r = await run('kvctl', ['cradle', 'pair', String(device), '--url', url, ...(renew ? ['--renew'] : [])], { home: site.home });
  assert.equal(r.code, 0, r.stderr);
  const link = r.stdout.split('\n').find((l) => l.startsWith('http'));
  assert.ok(link, r.stdout);
  return link;
}

// A sync the operator waits for: kvctl's command waits, the phone syncs, kvctl ends.
export async function syncWhileWaiting(site, phone, command, device = 1) {
  const wait = await startWait(site, command, device);
  const shown = await pressSync(phone);
  assert.equal(shown.kind, 'ok', shown.text);
  assert.equal(await wait.finish(), 0, wait.output);
  return { shown, kvctl: wait.output };
}

export async function typeDocument(phone, { client, type, items }) {
  const { page } = phone;
  await phone.tab('Clientes');
  await page.getByLabel('Buscar por nombre o código').fill(client.trim());
  await page.locator(`li[data-cliente="${client}"] button`).click();
  await page.getByLabel('Tipo de documento').selectOption(type);
  const search = page.getByLabel(`Agregar ${type === 'OT' ? 'tarea' : 'artículo'}: buscar por descripción o código`, { exact: true });
  for (const [index, quantity] of items) {
    await search.fill('');
    await page.locator('main ul[aria-label="Resultados de la búsqueda"] li button').nth(index).click();
    const input = page.locator('main ul[aria-label="Líneas del documento"] input.cantidad').last();
    await input.fill(String(quantity));
    await input.dispatchEvent('change');
  }
  const total = Number(await page.locator('[data-total]').getAttribute('data-total'));
  const lines = await page.locator('[data-total-linea]').evaluateAll((ls) => ls.map((l) => Number(l.dataset.totalLinea)));
  return { total, lines };
}

// Saves the document open in the editor; returns its key.
export async function save(phone) {
  await phone.page.getByRole('button', { name: 'Guardar' }).click();
  const saved = await phone.page.getByRole('status').filter({ hasText: 'guardado' }).innerText();
  return /([A-Z]{2}\d{12}A)/.exec(saved)[1];
}

export async function pendingKeys(phone) {
  await phone.tab('Pendientes');
  return phone.page.locator('main li[data-documento]').evaluateAll((ls) => ls.map((l) => l.dataset.documento));
}

// The ERP's documents of these keys: headers, article lines and task lines.
export function erpDocuments(site, keys) {
  const ids = keys.map((k) => k.slice(2));
  const marks = ids.map(() => '?').join(', ');
  return {
    headers: rows(site.erp, `SELECT TC, IdComprobante, Cuenta, Importe FROM V_MV_CPTE WHERE IdComprobante IN (${marks}) ORDER BY IdComprobante, TC`, ids),
    supplies: rows(site.erp, `SELECT TC, IdComprobante, Cantidad, Total FROM V_MV_CpteInsumos WHERE IdComprobante IN (${marks}) ORDER BY TC, IdComprobante, rowid`, ids),
    tasks: rows(site.erp, `SELECT TC, IdComprobante, Horas, Total FROM V_MV_CpteTareas WHERE IdComprobante IN (${marks}) ORDER BY TC, IdComprobante, rowid`, ids),
  };
}

// How many times the ERP holds each key (its type and number: types share numbers).
export function erpCounts(site, keys) {
  return keys.map((k) => rows(site.erp, 'SELECT count(*) AS n FROM V_MV_CPTE WHERE trim(TC) = ? AND IdComprobante = ?',
    [k.slice(0, 2), k.slice(2)])[0].n);
}
