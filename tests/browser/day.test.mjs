// kvmovil in a real browser against the real programs over 127.0.0.1: a salesperson's whole day
// (pairing, the first sync, orders typed online and offline, the receive into the ERP), and a
// sync whose answer is lost on the way.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { makeSite, startCradle, startWait, run } from './support/tools.mjs';
import { startLine } from './support/line.mjs';
import { openPhone, pressSync } from './support/phone.mjs';
import { rows } from './support/databases.mjs';

let site, cradle, line;

before(async () => {
  site = await makeSite();
  cradle = await startCradle(site);
  line = await startLine({ upstream: cradle.url });
});

after(async () => {
  await line?.close();
  await cradle?.stop();
  site?.remove();
});

async function pairingLink(device, renew = false) {
  const r = await run('kvctl', ['cradle', 'pair', String(device), '--url', line.url, ...(renew ? ['--renew'] : [])], { home: site.home });
  assert.equal(r.code, 0, r.stderr);
  const link = r.stdout.split('\n').find((l) => l.startsWith('http'));
  assert.ok(link, r.stdout);
  return link;
}

// A sync the operator waits for: kvctl's command waits, the phone syncs, kvctl ends.
async function syncWhileWaiting(phone, command) {
  const wait = await startWait(site, command);
  const shown = await pressSync(phone);
  assert.equal(shown.kind, 'ok', shown.text);
  assert.equal(await wait.finish(), 0, wait.output);
  return { shown, kvctl: wait.output };
}

async function typeDocument(phone, { client, type, items }) {
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

async function save(phone) {
  await phone.page.getByRole('button', { name: 'Guardar' }).click();
  const saved = await phone.page.getByRole('status').filter({ hasText: 'guardado' }).innerText();
  return /([A-Z]{2}0001\d{8}A)/.exec(saved)[1];
}

async function pendingKeys(phone) {
  await phone.tab('Pendientes');
  return phone.page.locator('main li[data-documento]').evaluateAll((ls) => ls.map((l) => l.dataset.documento));
}

function erpDocuments(keys) {
  const ids = keys.map((k) => k.slice(2));
  const marks = ids.map(() => '?').join(', ');
  return {
    headers: rows(site.erp, `SELECT TC, IdComprobante, Cuenta, Importe FROM V_MV_CPTE WHERE IdComprobante IN (${marks}) ORDER BY IdComprobante, TC`, ids),
    supplies: rows(site.erp, `SELECT TC, IdComprobante, Cantidad, Total FROM V_MV_CpteInsumos WHERE IdComprobante IN (${marks}) ORDER BY TC, IdComprobante, rowid`, ids),
    tasks: rows(site.erp, `SELECT TC, IdComprobante, Horas, Total FROM V_MV_CpteTareas WHERE IdComprobante IN (${marks}) ORDER BY TC, IdComprobante, rowid`, ids),
  };
}

test('a salesperson\'s day: pair, first sync, orders online and offline, receive, nothing doubled', async () => {
  const phone = await openPhone();
  try {
    const { page } = phone;
    // 1. Pair by the link.
    const link = await pairingLink(1);
    await page.goto(link);
    await phone.ready();
    await page.getByText('Teléfono vinculado como equipo Nº 1').waitFor();
    assert.ok(!page.url().includes('token'), 'the token leaves the address bar');
    await phone.shot('app-paired');
    const firstVisit = { bytes: line.bytesToBrowser, requests: line.requests };

    // 2. First sync: exactly device 1's clients.
    const started = process.hrtime.bigint();
    const first = await syncWhileWaiting(phone, 'send');
    const seconds = Number(process.hrtime.bigint() - started) / 1e9;
    assert.match(first.kvctl, /Se sincronizaron los datos con exito!!!/);
    await phone.shot('app-sync');
    await phone.tab('Clientes');
    const shown = await page.locator('main li[data-cliente]').evaluateAll((ls) => ls.map((l) => l.dataset.cliente).sort());
    const device1 = rows(site.store, 'SELECT IDCLIENTE FROM MA_CLIENTES ORDER BY IDCLIENTE').map((r) => r.IDCLIENTE).sort();
    const everyone = rows(site.erp, 'SELECT count(*) AS n FROM VT_CLIENTES')[0].n;
    assert.deepEqual(shown, device1);
    assert.ok(device1.length > 0 && device1.length < everyone, `${device1.length} of ${everyone} clients`);
    await phone.shot('app-clients');

    // 3. An order with three lines and a work order.
    const order = await typeDocument(phone, { client: device1[0], type: 'NP', items: [[0, 2], [1, 3], [2, 5]] });
    assert.equal(order.lines.length, 3);
    await page.getByRole('heading', { name: 'Líneas' }).evaluate((e) => e.scrollIntoView({ block: 'start' }));
    await phone.shot('app-order');
    const orderKey = await save(phone);
    const work = await typeDocument(phone, { client: device1[1], type: 'OT', items: [[0, 1.5]] });
    const workKey = await save(phone);

    // 4. Offline: the application reloads from its own cache and still takes a document.
    await phone.context.setOffline(true);
    await page.reload();
    await phone.ready();
    await page.locator('#red.sin-conexion').waitFor();
    const quote = await typeDocument(phone, { client: device1[2], type: 'PR', items: [[3, 4]] });
    const quoteKey = await save(phone);
    assert.deepEqual((await pendingKeys(phone)).sort(), [orderKey, workKey, quoteKey].sort());
    await phone.shot('app-pending-offline');
    assert.equal((await pressSync(phone)).kind, 'error', 'no sync without the network');
    assert.equal((await pendingKeys(phone)).length, 3);

    // 5. Online again: the receive takes the three documents.
    await phone.context.setOffline(false);
    await page.locator('#red:not(.sin-conexion)').waitFor();
    const received = await syncWhileWaiting(phone, 'receive');
    assert.match(received.kvctl, /Se actualizaron 3 comprobantes y se omitieron 0/);
    assert.match(received.shown.text, /Documentos enviados: 3/);
    await phone.shot('app-sent');

    // 6. The ERP holds each once, with the values typed; nothing is pending.
    const keys = [orderKey, workKey, quoteKey];
    const erp = erpDocuments(keys);
    assert.deepEqual(erp.headers.map((h) => [h.TC.trim() + h.IdComprobante, Number(h.Importe)]).sort(),
      [[orderKey, order.total], [workKey, work.total], [quoteKey, quote.total]].sort());
    assert.equal(erp.headers.find((h) => h.TC.trim() === 'NP').Cuenta, device1[0]);
    assert.deepEqual(erp.supplies.map((s) => [s.TC.trim(), Number(s.Cantidad), Number(s.Total)]),
      [['NP', 2, order.lines[0]], ['NP', 3, order.lines[1]], ['NP', 5, order.lines[2]], ['PR', 4, quote.lines[0]]]);
    assert.deepEqual(erp.tasks.map((t) => [t.TC.trim(), Number(t.Horas), Number(t.Total)]), [['OT', 1.5, work.lines[0]]]);
    assert.deepEqual(await pendingKeys(phone), []);

    // 7. A second sync doubles nothing.
    const again = await syncWhileWaiting(phone, 'receive');
    assert.match(again.shown.text, /Documentos enviados: 0/);
    assert.deepEqual(erpDocuments(keys), erp);
    assert.deepEqual(phone.errors, []);
    console.log(`first visit: ${firstVisit.bytes} bytes in ${firstVisit.requests} requests; first sync of device 1 (${device1.length} clients): ${seconds.toFixed(2)} s`);
  } finally {
    await phone.close();
  }
});

test('a sync whose answer or confirmation is lost changes nothing on the phone, and each document reaches the ERP once', async () => {
  const phone = await openPhone();
  try {
    const { page } = phone;
    await page.goto(await pairingLink(1, true));
    await phone.ready();
    await syncWhileWaiting(phone, 'send');
    const client = rows(site.store, 'SELECT IDCLIENTE FROM MA_CLIENTES ORDER BY IDCLIENTE')[3].IDCLIENTE;
    await typeDocument(phone, { client, type: 'NP', items: [[0, 7]] });
    const key = await save(phone);
    const before = await phone.storedFile();

    // The cradle answers, but the answer never reaches the phone.
    const wait = await startWait(site, 'receive');
    line.cutNext = '/sync';
    const lost = await pressSync(phone);
    assert.equal(lost.kind, 'error', lost.text);
    assert.match(lost.text, /No se cambió nada en este equipo/);
    await phone.shot('app-lost-answer');
    assert.deepEqual(line.cuts.map((c) => [c.path, c.status]), [['/sync', 200]]);
    assert.match(lost.text, /Se perdió la conexión/);
    assert.deepEqual(await phone.storedFile(), before);
    assert.deepEqual(await pendingKeys(phone), [key]);

    // The cradle counts a sync only once the phone confirms it: the receive still waits, the ERP
    // has nothing yet, and the unconfirmed sync is dropped (until then the cradle is busy).
    assert.ok(line.cuts[0].headers['x-kvcradle-sync'], 'the answer named its sync');
    assert.ok(wait.running(), wait.output);
    assert.equal(erpDocuments([key]).headers.length, 0);
    let shown;
    for (let attempt = 0; attempt < 90; attempt++) {
      shown = await pressSync(phone);
      if (shown.kind === 'ok' || !/ocupado/.test(shown.text)) break;
      await new Promise((r) => setTimeout(r, 1000));
    }
    assert.equal(shown.kind, 'ok', shown.text);
    assert.equal(await wait.finish(), 0, wait.output);
    assert.equal(erpDocuments([key]).headers.length, 1);
    assert.deepEqual(await pendingKeys(phone), []);

    // The confirmation reaches the cradle but its answer is lost: the sync counted there, the
    // phone keeps its document pending, and the next receive finds it in the ERP already.
    await typeDocument(phone, { client, type: 'NP', items: [[1, 2]] });
    const second = await save(phone);
    const counted = await startWait(site, 'receive');
    line.cutNext = /^\/sync\/[^/]+\/done$/;
    assert.equal((await pressSync(phone)).kind, 'error');
    assert.equal(line.cuts.length, 2);
    assert.equal(await counted.finish(), 0, counted.output);
    assert.equal(erpDocuments([second]).headers.length, 1);
    assert.deepEqual(await pendingKeys(phone), [second]);
    const last = await syncWhileWaiting(phone, 'receive');
    assert.match(last.kvctl, /Se actualizaron 0 comprobantes/);
    assert.equal(erpDocuments([key, second]).headers.length, 2);
    assert.deepEqual(await pendingKeys(phone), []);
  } finally {
    await phone.close();
  }
});

process.on('unhandledRejection', (e) => { console.error(e); process.exitCode = 1; });
