// kvmovil's document keys, numbered as `kvhandheld capture` numbers them (the device's branch,
// the last number kept once the documents have left), and how the phone reads what the cradle
// answers: its refusals, the exchange's report, which sync to run.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import initSqlJs from '../../app/node_modules/sql.js/dist/sql-wasm.js';
import { Handheld } from '../../app/js/handheld.js';
import { guardarDocumento, lineaTarea } from '../../app/js/documents.js';
import { motivo, leerInforme, elegirRuta } from '../../app/js/sync.js';

const SQL = await initSqlJs();

function handheld(device) {
  const db = new SQL.Database();
  db.run(`CREATE TABLE MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA, MV_CPTE_TIPOREG,
      MV_CPTE_IDCOMPROBANTE, MV_CPTE_CLASEPRECIO, MV_CPTE_CLASE_PRECIO, MV_CPTE_DTOGLOBAL, MV_CPTE_IDCLIENTE,
      MV_CPTE_ITEMS, MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL, MV_CPTE_IMPORTE_IVA, MV_CPTE_NETO_GRAV, MV_CPTE_NETO_NO_GRAV);
    CREATE TABLE MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, MV_CPTE_DET_IDTAREA, MV_CPTE_DET_DESCRIPCION,
      MV_CPTE_DET_HORAS, MV_CPTE_DET_PRECIO, MV_CPTE_DET_PRECIO_S_IVA, MV_CPTE_DET_TOTAL, MV_CPTE_DET_DESCR_ADIC_tarea,
      MV_CPTE_DET_IDcliente, MV_CPTE_DET_FECHA, MV_CPTE_DET_FECHA_ENTREGA, MV_CPTE_DET_IDarticulo, MV_CPTE_DET_dto,
      MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_UNIDAD, MV_CPTE_DET_IMP_IVA, MV_CPTE_DET_IMP_INT);
    CREATE TABLE KVMOVIL_DOCUMENTOS (TSNL TEXT PRIMARY KEY, ESTADO TEXT, GUARDADO TEXT, ENVIADO TEXT);`);
  const h = new Handheld(db, null);
  if (device !== null) h.fijarDispositivo(device);
  return h;
}

const linea = lineaTarea({ id: 'T1', descripcion: 'Service', valorHora: 10, iva: 21 }, 1);
const nuevo = (h, tipo) => guardarDocumento(h, { clave: null, tipo, cliente: { id: 'C1', clase: 1 }, fecha: '2026-12-11', entrega: '2026-12-12', lineas: [linea] });
// What an exchange leaves of the documents it took: nothing.
const llevados = (h) => h.db.run('DELETE FROM MV_CPTE; DELETE FROM MV_CPTE_DETALLE');

const numbering = [
  { name: 'device 7 numbers at branch 0007', device: 7, steps: (h) => nuevo(h, 'NP'), key: 'NP000700000001A' },
  { name: 'a handheld without a number uses 0001', device: null, steps: (h) => nuevo(h, 'NP'), key: 'NP000100000001A' },
  { name: 'a number past four digits uses 0001', device: 10000, steps: (h) => nuevo(h, 'NP'), key: 'NP000100000001A' },
  { name: 'documents taken away by an exchange keep their numbers used', device: 2,
    steps: (h) => { nuevo(h, 'NP'); nuevo(h, 'NP'); llevados(h); return nuevo(h, 'NP'); }, key: 'NP000200000003A' },
  { name: 'a line left without its document is past the last number kept', device: 2,
    steps: (h) => { nuevo(h, 'NP'); h.db.run("INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL) VALUES ('NP000200000009A')"); return nuevo(h, 'NP'); },
    key: 'NP000200000010A' },
  { name: 'each type has its own numbers', device: 2, steps: (h) => { nuevo(h, 'NP'); llevados(h); return nuevo(h, 'OT'); }, key: 'OT000200000001A' },
  { name: 'another branch\'s keys do not count', device: 2,
    steps: (h) => { h.db.run("INSERT INTO MV_CPTE (MV_CPTE_TSNL) VALUES ('NP000100000050A')"); return nuevo(h, 'NP'); }, key: 'NP000200000001A' },
];

for (const c of numbering) {
  test(`numbering: ${c.name}`, () => {
    const h = handheld(c.device);
    assert.equal(c.steps(h), c.key);
    h.cerrar();
  });
}

const refusals = [
  { name: 'a file of another device on the exchange', status: 422, body: { error: 'wrong-device', message: 'm' }, has: /archivo de este teléfono es de otro número/ },
  { name: 'the office waiting for another device', status: 409, body: { error: 'wrong-device' }, has: /espera la sincronización de otro equipo/ },
  { name: 'the ERP unavailable, with the wait and the cradle\'s words', status: 503, body: { error: 'erp-unavailable', message: 'lock' }, retry: '30',
    has: /no puede recibir documentos ahora.*30 segundos.*\(Servidor: lock\)/ },
  { name: 'a code it does not know: by the status', status: 500, body: { error: 'novel' }, has: /^El servidor tuvo una falla/ },
  { name: 'no JSON and an odd status', status: 418, body: '<html>', has: /^El servidor respondió 418\.$/ },
  { name: 'a Retry-After that is not seconds is left out', status: 503, body: { error: 'exchanges-busy' }, retry: 'soon', has: /en un momento\.$/ },
];

for (const c of refusals) {
  test(`refusal: ${c.name}`, () => {
    const e = motivo(c.status, typeof c.body === 'string' ? c.body : JSON.stringify(c.body), c.retry);
    assert.match(e.message, c.has);
    assert.equal(e.tokenVencido, false);
  });
}

test('the exchange\'s report: whatever is malformed reads as empty', () => {
  const r = leerInforme(JSON.stringify({
    imported: ['NP000100000001A', 7], existing: 'x',
    refused: [{ key: 'NP000100000002A', reason: 'r'.repeat(900) }, { key: 3 }, null, { key: 'OT000100000001A' }],
    tables: [{ table: 'MA_CLIENTES', rows: 5 }, { table: 'X', rows: 'many' }],
  }));
  assert.deepEqual(r.importados, ['NP000100000001A']);
  assert.deepEqual(r.existentes, []);
  assert.deepEqual(r.rechazados.map((x) => [x.clave, x.motivo.length]), [['NP000100000002A', 500], ['OT000100000001A', 0]]);
  assert.deepEqual(r.tablas, [{ tabla: 'MA_CLIENTES', filas: 5 }]);
  assert.deepEqual(leerInforme('not json'), { importados: [], existentes: [], rechazados: [], tablas: [] });
});

const routes = [
  { name: 'the operator waits for any handheld\'s receive', status: { registered: true, enabled: true, device: 0, direction: 'receive' }, route: '/sync' },
  { name: 'the operator waits for another device', status: { registered: true, enabled: true, device: 2, direction: 'send', exchanges: { offered: true } }, route: '/exchange' },
  { name: 'nobody waits, exchanges off', status: { registered: false, exchanges: { offered: false } }, error: /sin el operador/ },
];

for (const c of routes) {
  test(`which sync: ${c.name}`, () => {
    if (c.error) assert.throws(() => elegirRuta(c.status, 1), c.error);
    else assert.equal(elegirRuta(c.status, 1).ruta, c.route);
  });
}
