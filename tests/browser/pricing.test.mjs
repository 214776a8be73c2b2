// kvmovil's prices and amounts, worked out by hand as `kvhandheld capture` works them: a list with
// VAT included or not, a class the list has no price for, a client whose list the handheld lacks,
// a client discount, and a task by the hour.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import initSqlJs from '../../app/node_modules/sql.js/dist/sql-wasm.js';
import { Catalogo } from '../../app/js/catalogue.js';
import { lineaArticulo, lineaTarea, totales } from '../../app/js/documents.js';

const SQL = await initSqlJs();
const db = new SQL.Database();
db.run(`CREATE TABLE MA_CLIENTES (IDCLIENTE, DESCRIPCION, DOMICILIO, LOCALIDAD, IDLISTA, CLASE_PRECIO, DESCUENTO);
  CREATE TABLE MA_ARTICULOS (IDARTICULO, DESCRIPCION, UNIDAD, ALICIVA, IMPORTE, IMPORTE2, IMPORTE3, IMPORTE4);
  CREATE TABLE MA_PRECIOS (IDLISTA, NOMBRE, IDARTICULO, CONIVA, PRECIO1, PRECIO2, PRECIO3, PRECIO4, PRECIO5);
  CREATE TABLE TA_TAREAS (IDTAREA, DESCRIPCION, HORASESTIMADAS, VALORHORA, EXENTO, TASAIVA, DESCRIPCIONADICIONAL);
  INSERT INTO MA_ARTICULOS VALUES ('A1', 'Filtro', 'UN', 21, 100, NULL, NULL, NULL);
  INSERT INTO MA_PRECIOS VALUES ('L1', 'base', 'A1', 1, 121, NULL, NULL, NULL, NULL),
                                ('L2', 'base', 'A1', 0, 50, NULL, 80, NULL, NULL);
  INSERT INTO MA_CLIENTES VALUES ('C1', 'Uno', '', '', 'L1', 2, 10), ('C2', 'Dos', '', '', 'L2', 3, 0),
                                 ('C3', 'Tres', '', '', 'ZZ', 1, 0), ('C4', 'Cuatro', '', '', 'L2', 9, 150);
  INSERT INTO TA_TAREAS VALUES ('T1', 'Instalación', 0, 40, 0, 21, NULL), ('T2', 'Revisión', 2, 30, 1, 21, NULL);`);
const catalogo = new Catalogo(db);

const articleCases = [
  // client, quantity, unit price with VAT, net, VAT, total
  { name: 'a list with VAT included, no price for class 2, 10% discount', client: 'C1', qty: 3, gross: 121, net: 270, vat: 56.7, total: 326.7 },
  { name: 'a list without VAT, the client\'s class 3', client: 'C2', qty: 2, gross: 96.8, net: 160, vat: 33.6, total: 193.6 },
  { name: 'a list the handheld lacks: the first list it holds', client: 'C3', qty: 1, gross: 121, net: 100, vat: 21, total: 121 },
  { name: 'a class out of range is 1, a discount over 100 is 100', client: 'C4', qty: 2, gross: 60.5, net: 0, vat: 0, total: 0 },
];

for (const c of articleCases) {
  test(`article line: ${c.name}`, () => {
    const client = catalogo.cliente(c.client);
    const [priced] = catalogo.preciosPara(client);
    assert.equal(priced.bruto, c.gross);
    const line = lineaArticulo(priced, c.qty, client.descuento);
    assert.deepEqual([line.neto, line.iva, line.total], [c.net, c.vat, c.total]);
    assert.deepEqual(totales([line]), { neto: c.net, iva: c.vat, gravado: c.net, noGravado: 0, total: c.total });
  });
}

test('task lines: the total is the hours at the rate before VAT; an exempt task has none', () => {
  const [t1, t2] = catalogo.tareas;
  const taxed = lineaTarea(t1, 1.5);
  const exempt = lineaTarea(t2, t2.horas);
  assert.deepEqual([taxed.neto, taxed.iva, taxed.total, taxed.precio], [60, 12.6, 60, 40]);
  assert.deepEqual([exempt.neto, exempt.iva, exempt.total], [60, 0, 60]);
  assert.deepEqual(totales([taxed, exempt]), { neto: 120, iva: 12.6, gravado: 60, noGravado: 60, total: 132.6 });
});
