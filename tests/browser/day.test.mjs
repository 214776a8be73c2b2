// kvmovil in a real browser against the real programs over 127.0.0.1, with nobody at the office:
// the phone syncs by the exchange (POST /exchange). A salesperson's whole day (pairing, the first
// sync, documents typed online and offline, the exchange into the ERP); an exchange whose answer
// or confirmation is lost; a document the ERP refuses.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { previewRows, sqlite } from './support/tools.mjs';
import { siteForTests } from './support/site.mjs';
import { openPhone, pressSync } from './support/phone.mjs';
import { rows } from './support/databases.mjs';
import { pairingLink, typeDocument, save, pendingKeys, erpDocuments, erpCounts } from './support/steps.mjs';

const env = siteForTests();

// A phone paired as `device` that has had its first exchange.
async function pairedPhone(device) {
  const phone = await openPhone();
  await phone.page.goto(await pairingLink(env.site, env.line.url, device));
  await phone.ready();
  const first = await pressSync(phone);
  assert.equal(first.kind, 'ok', first.text);
  return phone;
}

const clientsOf = (file) => rows(file, 'SELECT IDCLIENTE FROM MA_CLIENTES ORDER BY IDCLIENTE').map((r) => r.IDCLIENTE);

test('a salesperson\'s day on the exchange: pair, first sync, documents online and offline, each in the ERP once', async () => {
  const phone = await openPhone();
  try {
    const { page } = phone;
    // 1. Pair by the link.
    await page.goto(await pairingLink(env.site, env.line.url, 1));
    await phone.ready();
    await page.getByText('Teléfono vinculado como equipo Nº 1').waitFor();
    assert.ok(!page.url().includes('token'), 'the token leaves the address bar');
    await phone.shot('app-paired');
    await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
    const firstVisit = { bytes: env.line.bytesToBrowser, requests: env.line.requests };

    // 2. First sync, nobody at the office: exactly device 1's data.
    const started = process.hrtime.bigint();
    const first = await pressSync(phone);
    const seconds = Number(process.hrtime.bigint() - started) / 1e9;
    assert.equal(first.kind, 'ok', first.text);
    assert.match(first.text, /Datos actualizados el/);
    const file = await phone.storedFile();
    const expected = await previewRows(env.site, 1);
    for (const [table, count] of Object.entries(expected))
      assert.equal(rows(file, `SELECT count(*) AS n FROM ${table}`)[0].n, count, table);
    await phone.tab('Clientes');
    const shown = await page.locator('main li[data-cliente]').evaluateAll((ls) => ls.map((l) => l.dataset.cliente).sort());
    const device1 = clientsOf(file);
    const everyone = rows(env.site.erp, 'SELECT count(*) AS n FROM VT_CLIENTES')[0].n;
    assert.deepEqual(shown, [...device1].sort());
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
    assert.deepEqual([orderKey, workKey], ['NP000100000001A', 'OT000100000001A']);

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

    // 5. Online again: the exchange takes the three documents.
    await phone.context.setOffline(false);
    await page.locator('#red:not(.sin-conexion)').waitFor();
    const sent = await pressSync(phone);
    assert.equal(sent.kind, 'ok', sent.text);
    assert.match(sent.text, /Documentos enviados: 3\n/);
    assert.match(sent.text, /Documentos rechazados: ninguno/);
    await phone.shot('app-sent');

    // 6. The ERP holds each once, with the values typed; nothing is pending, nor in the file.
    const keys = [orderKey, workKey, quoteKey];
    const erp = erpDocuments(env.site, keys);
    assert.deepEqual(erp.headers.map((h) => [h.TC.trim() + h.IdComprobante, Number(h.Importe)]).sort(),
      [[orderKey, order.total], [workKey, work.total], [quoteKey, quote.total]].sort());
    assert.equal(erp.headers.find((h) => h.TC.trim() === 'NP').Cuenta, device1[0]);
    assert.deepEqual(erp.supplies.map((s) => [s.TC.trim(), Number(s.Cantidad), Number(s.Total)]),
      [['NP', 2, order.lines[0]], ['NP', 3, order.lines[1]], ['NP', 5, order.lines[2]], ['PR', 4, quote.lines[0]]]);
    assert.deepEqual(erp.tasks.map((t) => [t.TC.trim(), Number(t.Horas), Number(t.Total)]), [['OT', 1.5, work.lines[0]]]);
    assert.deepEqual(await pendingKeys(phone), []);
    assert.deepEqual(rows(await phone.storedFile(), 'SELECT MV_CPTE_TSNL FROM MV_CPTE'), []);

    // 7. A second sync doubles nothing.
    const again = await pressSync(phone);
    assert.match(again.text, /Documentos enviados: 0/);
    assert.deepEqual(erpDocuments(env.site, keys), erp);
    assert.deepEqual(phone.errors, []);
    console.log(`first visit: ${firstVisit.bytes} bytes in ${firstVisit.requests} requests; first sync of device 1 (${device1.length} clients) by the exchange: ${seconds.toFixed(2)} s`);
  } finally {
    await phone.close();
  }
});

test('an exchange whose confirmation or answer is lost changes nothing on the phone, loses and doubles nothing', async () => {
  const phone = await pairedPhone(2);
  try {
    const { page } = phone;
    const client = clientsOf(await phone.storedFile())[3];
    await typeDocument(phone, { client, type: 'NP', items: [[0, 7]] });
    const key = await save(phone);
    assert.equal(key, 'NP000200000001A', 'device 2 numbers at its own branch');
    const before = await phone.storedFile();

    // The confirmation never leaves the phone: the ERP took the document, the phone keeps it.
    await page.route('**/exchange/*/done', (r) => r.abort('connectionfailed'));
    const unconfirmed = await pressSync(phone);
    await page.unroute('**/exchange/*/done');
    assert.equal(unconfirmed.kind, 'error', unconfirmed.text);
    assert.match(unconfirmed.text, /No se cambió nada en este equipo/);
    assert.deepEqual(await phone.storedFile(), before);
    assert.deepEqual(await pendingKeys(phone), [key]);
    assert.deepEqual(erpCounts(env.site, [key]), [1]);
    // The next exchange finds it in the ERP already and takes it off the phone.
    const found = await pressSync(phone);
    assert.equal(found.kind, 'ok', found.text);
    assert.match(found.text, /Documentos enviados: 1 \(1 ya estaba en la oficina\)/);
    assert.deepEqual(await pendingKeys(phone), []);
    assert.deepEqual(erpCounts(env.site, [key]), [1]);

    // The exchange's answer is cut halfway: the same again.
    await typeDocument(phone, { client, type: 'NP', items: [[1, 2]] });
    const second = await save(phone);
    env.line.cutNext = '/exchange';
    const cut = await pressSync(phone);
    assert.equal(cut.kind, 'error', cut.text);
    assert.match(cut.text, /Se perdió la conexión/);
    await phone.shot('app-lost-answer-exchange');
    assert.deepEqual(env.line.cuts.at(-1).path, '/exchange');
    assert.deepEqual(await pendingKeys(phone), [second]);
    const last = await pressSync(phone);
    assert.equal(last.kind, 'ok', last.text);
    assert.deepEqual(erpCounts(env.site, [key, second]), [1, 1]);
    assert.deepEqual(await pendingKeys(phone), []);

    // Both documents have left the phone; their numbers are never given again.
    await typeDocument(phone, { client, type: 'NP', items: [[2, 1]] });
    assert.equal(await save(phone), 'NP000200000003A');
    assert.deepEqual(phone.errors, []);
  } finally {
    await phone.close();
  }
});

test('a document the ERP refuses stays pending with its reason; the others come in; once allowed it comes in too', async () => {
  const phone = await pairedPhone(3);
  try {
    const { page } = phone;
    const clients = clientsOf(await phone.storedFile());
    await typeDocument(phone, { client: clients[4], type: 'NP', items: [[0, 1], [1, 2]] });
    const refused = await save(phone);
    await typeDocument(phone, { client: clients[5], type: 'RM', items: [[2, 3]] });
    const accepted = await save(phone);
    await sqlite(env.site.erp, `CREATE TRIGGER refuse_one BEFORE INSERT ON V_MV_CPTE WHEN trim(NEW.TC) = 'NP' AND NEW.IDCOMPROBANTE = '${refused.slice(2)}'
      BEGIN SELECT RAISE(ABORT, 'cliente bloqueado'); END`);

    const shown = await pressSync(phone);
    assert.equal(shown.kind, 'ok', shown.text);
    assert.match(shown.text, /Documentos enviados: 1\n/);
    assert.match(shown.text, /Documentos rechazados: 1/);
    assert.match(await page.locator(`main li[data-rechazado="${refused}"]`).innerText(), /cliente bloqueado/);
    await phone.shot('app-refused');
    assert.deepEqual(erpCounts(env.site, [refused, accepted]), [0, 1]);

    // It stays in Pendientes with the reason, across a reload; the file keeps it whole.
    await page.reload();
    await phone.ready();
    assert.deepEqual(await pendingKeys(phone), [refused]);
    assert.match(await page.locator(`main li[data-documento="${refused}"] [data-rechazo]`).innerText(), /cliente bloqueado/);
    await phone.shot('app-pending-refused');
    const file = await phone.storedFile();
    assert.deepEqual(rows(file, 'SELECT MV_CPTE_TSNL AS k FROM MV_CPTE').map((r) => r.k), [refused]);
    assert.equal(rows(file, 'SELECT count(*) AS n FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL = ?', [refused])[0].n, 2);

    // The office lifts the block: the next exchange brings it, once, and the reason goes.
    await sqlite(env.site.erp, 'DROP TRIGGER refuse_one');
    const later = await pressSync(phone);
    assert.match(later.text, /Documentos enviados: 1\n/);
    assert.match(later.text, /Documentos rechazados: ninguno/);
    assert.deepEqual(await pendingKeys(phone), []);
    assert.deepEqual(erpCounts(env.site, [refused, accepted]), [1, 1]);
    assert.deepEqual(phone.errors, []);
  } finally {
    await phone.close();
  }
});

process.on('unhandledRejection', (e) => { console.error(e); process.exitCode = 1; });
