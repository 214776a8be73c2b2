// kvmovil while the operator waits for its device's sync (POST /sync): a sync whose answer, or
// whose confirmation's answer, is lost on the way changes nothing on the phone, and each document
// reaches the ERP once.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { startCradle, startWait } from './support/tools.mjs';
import { siteForTests } from './support/site.mjs';
import { openPhone, pressSync } from './support/phone.mjs';
import { rows } from './support/databases.mjs';
import { pairingLink, syncWhileWaiting, typeDocument, save, pendingKeys, erpDocuments } from './support/steps.mjs';

const env = siteForTests();

test('a sync whose answer or confirmation is lost changes nothing on the phone, and each document reaches the ERP once', async () => {
  const phone = await openPhone();
  try {
    const { page } = phone;
    await page.goto(await pairingLink(env.site, env.line.url, 1));
    await phone.ready();
    await syncWhileWaiting(env.site, phone, 'send');
    const client = rows(env.site.store, 'SELECT IDCLIENTE FROM MA_CLIENTES ORDER BY IDCLIENTE')[3].IDCLIENTE;
    await typeDocument(phone, { client, type: 'NP', items: [[0, 7]] });
    const key = await save(phone);
    const before = await phone.storedFile();

    // The cradle answers, but the answer never reaches the phone.
    const wait = await startWait(env.site, 'receive');
    env.line.cutNext = '/sync';
    const lost = await pressSync(phone);
    assert.equal(lost.kind, 'error', lost.text);
    assert.match(lost.text, /No se cambió nada en este equipo/);
    await phone.shot('app-lost-answer');
    assert.deepEqual(env.line.cuts.map((c) => [c.path, c.status]), [['/sync', 200]]);
    assert.match(lost.text, /Se perdió la conexión/);
    assert.deepEqual(await phone.storedFile(), before);
    assert.deepEqual(await pendingKeys(phone), [key]);

    // The cradle counts a sync only once the phone confirms it: the receive still waits, the ERP
    // has nothing yet, and the unconfirmed sync is dropped (until then the cradle is busy).
    assert.ok(env.line.cuts[0].headers['x-kvcradle-sync'], 'the answer named its sync');
    assert.ok(wait.running(), wait.output);
    assert.equal(erpDocuments(env.site, [key]).headers.length, 0);
    let shown;
    for (let attempt = 0; attempt < 90; attempt++) {
      shown = await pressSync(phone);
      if (shown.kind === 'ok' || !/ocupado/.test(shown.text)) break;
      await new Promise((r) => setTimeout(r, 1000));
    }
    assert.equal(shown.kind, 'ok', shown.text);
    assert.equal(await wait.finish(), 0, wait.output);
    assert.equal(erpDocuments(env.site, [key]).headers.length, 1);
    assert.deepEqual(await pendingKeys(phone), []);

    // The confirmation reaches the cradle but its answer is lost: the sync counted there, the
    // phone keeps its document pending, and the next receive finds it in the ERP already.
    await typeDocument(phone, { client, type: 'NP', items: [[1, 2]] });
    const second = await save(phone);
    const counted = await startWait(env.site, 'receive');
    env.line.cutNext = /^\/sync\/[^/]+\/done$/;
    assert.equal((await pressSync(phone)).kind, 'error');
    assert.equal(env.line.cuts.length, 2);
    assert.equal(await counted.finish(), 0, counted.output);
    assert.equal(erpDocuments(env.site, [second]).headers.length, 1);
    assert.deepEqual(await pendingKeys(phone), [second]);
    const last = await syncWhileWaiting(env.site, phone, 'receive');
    assert.match(last.kvctl, /Se actualizaron 0 comprobantes/);
    assert.equal(erpDocuments(env.site, [key, second]).headers.length, 2);
    assert.deepEqual(await pendingKeys(phone), []);
  } finally {
    await phone.close();
  }
});

test('a cradle that takes no exchanges: with nobody waiting the phone says what to ask for, and keeps its documents', async () => {
  const plain = await startCradle(env.site, { exchanges: false });
  const phone = await openPhone();
  try {
    const { page } = phone;
    await page.goto(await pairingLink(env.site, plain.url, 2));
    await phone.ready();
    await syncWhileWaiting(env.site, phone, 'send', 2);
    const client = rows(await phone.storedFile(), 'SELECT IDCLIENTE FROM MA_CLIENTES ORDER BY IDCLIENTE')[0].IDCLIENTE;
    await typeDocument(phone, { client, type: 'NP', items: [[0, 1]] });
    const key = await save(phone);
    const before = await phone.storedFile();
    const off = await pressSync(phone);
    assert.equal(off.kind, 'error', off.text);
    assert.match(off.text, /no está preparado para sincronizar sin el operador/);
    assert.deepEqual(await phone.storedFile(), before);
    assert.deepEqual(await pendingKeys(phone), [key]);
  } finally {
    await phone.close();
    await plain.stop();
  }
});

process.on('unhandledRejection', (e) => { console.error(e); process.exitCode = 1; });
