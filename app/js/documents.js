// Documents typed on the phone, written into the handheld's document tables exactly as
// `kvhandheld capture` writes them (the same columns, amounts and key numbering), so the receive
// imports them like any handheld's.
import { filas, valor, TABLA_PROPIA, TABLA_RECHAZOS } from './handheld.js';
import { redondear } from './catalogue.js';

export const TIPOS = [
  { codigo: 'NP', nombre: 'Pedido' },
  { codigo: 'RM', nombre: 'Remito' },
  { codigo: 'PR', nombre: 'Presupuesto' },
  { codigo: 'OT', nombre: 'Orden de trabajo' },
];
// The branch of a device's keys is its number on four digits, so no two handhelds share a key; a
// handheld that carries no number uses the first branch.
const SUCURSAL_SIN_NUMERO = '0001';
export const LETRA = 'A';
// The last number used per type and branch, kept beside the store's tables (a sync and an exchange
// leave it alone): once the documents have left, their numbers are still never given again, or the
// ERP would take the new document for the old one and leave it out.
export const TABLA_NUMERACION = 'KV_NUMERACION';
const ULTIMO_NUMERO = 99999999; // eight digits

export function nombreTipo(codigo) {
  return (TIPOS.find((t) => t.codigo === codigo) || { nombre: codigo }).nombre;
}

export function sucursalDe(dispositivo) {
  return Number.isInteger(dispositivo) && dispositivo >= 1 && dispositivo <= 9999
    ? String(dispositivo).padStart(4, '0') : SUCURSAL_SIN_NUMERO;
}

// "NP" + "0007" + "00000012" + "A".
export function claveDocumento(tipo, numero, sucursal) {
  return tipo + sucursal + String(numero).padStart(8, '0') + LETRA;
}

export function hoy(fecha = new Date()) {
  const p = (n) => String(n).padStart(2, '0');
  return `${fecha.getFullYear()}-${p(fecha.getMonth() + 1)}-${p(fecha.getDate())}`;
}

// An article line sells at the price the list gives: with VAT included, the VAT is taken out of
// the amount; without it, it is added to the net.
export function lineaArticulo(p, cantidad, descuento) {
  const tasa = p.articulo.iva / 100;
  let neto, iva;
  if (p.conIva) {
    const importe = redondear(cantidad * p.bruto * (1 - descuento / 100));
    neto = redondear(importe / (1 + tasa));
    iva = redondear(importe - neto);
  } else {
    neto = redondear(cantidad * p.neto * (1 - descuento / 100));
    iva = redondear(neto * tasa);
  }
  return {
    tarea: null, articulo: p.articulo.id, unidad: p.articulo.unidad ?? null, adicional: null, horas: null,
    descripcion: p.articulo.descripcion, cantidad, precio: p.bruto, precioNeto: p.neto, descuento,
    neto, iva, impInternos: 0, total: redondear(neto + iva), gravado: p.articulo.iva > 0,
  };
}

// A task line's total is its hours at the hourly rate, before VAT, as the ERP's task lines keep
// it; the VAT goes on the line's VAT amount and into the header.
export function lineaTarea(t, horas) {
  const neto = redondear(horas * t.valorHora);
  return {
    tarea: t.id, articulo: null, unidad: null, adicional: t.adicional ?? null, horas,
    descripcion: t.descripcion, cantidad: horas, precio: t.valorHora, precioNeto: t.valorHora, descuento: 0,
    neto, iva: redondear(neto * t.iva / 100), impInternos: 0, total: neto, gravado: t.iva > 0,
  };
}

export function totales(lineas) {
  let neto = 0, iva = 0, internos = 0, gravado = 0, noGravado = 0;
  for (const l of lineas) {
    neto += l.neto;
    iva += l.iva;
    internos += l.impInternos;
    if (l.gravado) gravado += l.neto; else noGravado += l.neto;
  }
  return {
    neto: redondear(neto), iva: redondear(iva), gravado: redondear(gravado), noGravado: redondear(noGravado),
    total: redondear(redondear(neto) + redondear(iva) + redondear(internos)),
  };
}

// The highest number the handheld holds for the type at this branch; lines count too, so a line
// left without its document is never joined by a new one.
function mayorNumero(db, tipo, sucursal) {
  return Number(valor(db, `SELECT max(CAST(substr(k, 7, 8) AS INTEGER)) FROM (
      SELECT MV_CPTE_TSNL AS k FROM MV_CPTE UNION ALL SELECT MV_CPTE_DET_TSNL FROM MV_CPTE_DETALLE)
    WHERE length(k) = 15 AND upper(substr(k, 1, 2)) = ? AND substr(k, 3, 4) = ?
      AND substr(k, 7, 8) GLOB '[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]'`, [tipo, sucursal])) || 0;
}

// The next number of the type at the branch: past the highest the handheld holds and past the
// last one it ever gave.
function siguienteNumero(db, tipo, sucursal) {
  db.run(`CREATE TABLE IF NOT EXISTS ${TABLA_NUMERACION} (TC TEXT NOT NULL, SUCURSAL TEXT NOT NULL,
    ULTIMO INTEGER NOT NULL, PRIMARY KEY (TC, SUCURSAL))`);
  const ultimo = Number(valor(db, `SELECT ULTIMO FROM ${TABLA_NUMERACION} WHERE TC = ? AND SUCURSAL = ?`, [tipo, sucursal])) || 0;
  return Math.max(mayorNumero(db, tipo, sucursal), ultimo) + 1;
}

const INSERTAR_CABECERA = `INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA,
  MV_CPTE_TIPOREG, MV_CPTE_IDCOMPROBANTE, MV_CPTE_CLASEPRECIO, MV_CPTE_CLASE_PRECIO, MV_CPTE_DTOGLOBAL,
  MV_CPTE_IDCLIENTE, MV_CPTE_ITEMS, MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL, MV_CPTE_IMPORTE_IVA,
  MV_CPTE_NETO_GRAV, MV_CPTE_NETO_NO_GRAV) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)`;
const INSERTAR_LINEA = `INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, MV_CPTE_DET_IDTAREA,
  MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_HORAS, MV_CPTE_DET_PRECIO, MV_CPTE_DET_PRECIO_S_IVA, MV_CPTE_DET_TOTAL,
  MV_CPTE_DET_DESCR_ADIC_tarea, MV_CPTE_DET_IDcliente, MV_CPTE_DET_FECHA, MV_CPTE_DET_FECHA_ENTREGA,
  MV_CPTE_DET_IDarticulo, MV_CPTE_DET_dto, MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_UNIDAD, MV_CPTE_DET_IMP_IVA,
  MV_CPTE_DET_IMP_INT) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)`;

export class ErrorDocumento extends Error {}

// Saves a new document (doc.clave empty) or replaces a pending one, in one transaction. The
// document: {clave, tipo, cliente, fecha, entrega, lineas}. Returns its key.
export function guardarDocumento(handheld, doc) {
  if (!doc.lineas.length) throw new ErrorDocumento('El documento no tiene líneas.');
  if (doc.lineas.length > 999) throw new ErrorDocumento('El documento tiene demasiadas líneas.');
  for (const l of doc.lineas)
    if (!(l.cantidad > 0) || !Number.isFinite(l.cantidad)) throw new ErrorDocumento('Cada línea necesita una cantidad mayor que cero.');
  return handheld.transaccion(() => {
    const db = handheld.db;
    let clave = doc.clave;
    if (clave) {
      if (estado(db, clave) !== 'pendiente') throw new ErrorDocumento('El documento ' + clave + ' ya se envió: no se puede cambiar.');
      borrarFilas(db, clave);
    } else {
      const sucursal = sucursalDe(handheld.dispositivo());
      const numero = siguienteNumero(db, doc.tipo, sucursal);
      if (numero > ULTIMO_NUMERO) throw new ErrorDocumento('No quedan números de ' + nombreTipo(doc.tipo) + ' en la sucursal ' + sucursal + '.');
      clave = claveDocumento(doc.tipo, numero, sucursal);
      db.run(`INSERT OR REPLACE INTO ${TABLA_NUMERACION} (TC, SUCURSAL, ULTIMO) VALUES (?, ?, ?)`, [doc.tipo, sucursal, numero]);
    }
    const c = doc.cliente;
    let item = 0;
    for (const l of doc.lineas) {
      db.run(INSERTAR_LINEA, [clave, ++item, l.tarea, l.descripcion, l.horas, l.precio, l.precioNeto, l.total,
        l.adicional, c.id, doc.fecha, doc.entrega, l.articulo, l.descuento, l.cantidad, l.unidad, l.iva, l.impInternos]);
    }
    const t = totales(doc.lineas);
    // The discount is carried on each line, so the document has no global one.
    db.run(INSERTAR_CABECERA, [clave, doc.fecha, doc.entrega, doc.tipo, clave.slice(2), c.clase, c.clase, 0, c.id,
      doc.lineas.length, t.neto, t.total, t.iva, t.gravado, t.noGravado]);
    db.run(`INSERT INTO ${TABLA_PROPIA} (TSNL, ESTADO, GUARDADO) VALUES (?, 'pendiente', ?)
            ON CONFLICT (TSNL) DO UPDATE SET GUARDADO = excluded.GUARDADO`, [clave, new Date().toISOString()]);
    return clave;
  });
}

function estado(db, clave) {
  return valor(db, `SELECT ESTADO FROM ${TABLA_PROPIA} WHERE TSNL = ?`, [clave]);
}

function borrarFilas(db, clave) {
  db.run('DELETE FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL = ?', [clave]);
  db.run('DELETE FROM MV_CPTE WHERE MV_CPTE_TSNL = ?', [clave]);
}

function olvidarRechazo(db, clave) {
  db.run(`DELETE FROM ${TABLA_RECHAZOS} WHERE TSNL = ?`, [clave]);
}

export function borrarDocumento(handheld, clave) {
  handheld.transaccion(() => {
    if (estado(handheld.db, clave) !== 'pendiente') throw new ErrorDocumento('El documento ' + clave + ' ya se envió: no se puede borrar.');
    borrarFilas(handheld.db, clave);
    olvidarRechazo(handheld.db, clave);
    handheld.db.run(`DELETE FROM ${TABLA_PROPIA} WHERE TSNL = ?`, [clave]);
  });
}

// The documents typed here and not yet delivered by a sync, newest first, each with the office's
// reason when it refused it.
export function pendientes(db) {
  return filas(db, `SELECT c.MV_CPTE_TSNL, c.MV_CPTE_TIPOREG, c.MV_CPTE_IDCLIENTE, c.MV_CPTE_FECHA,
      c.MV_CPTE_ITEMS, c.MV_CPTE_IMPORTE_TOTAL, r.MOTIVO
    FROM ${TABLA_PROPIA} p JOIN MV_CPTE c ON c.MV_CPTE_TSNL = p.TSNL
      LEFT JOIN ${TABLA_RECHAZOS} r ON r.TSNL = p.TSNL
    WHERE p.ESTADO = 'pendiente' ORDER BY p.GUARDADO DESC, c.MV_CPTE_TSNL DESC`)
    .map(([clave, tipo, cliente, fecha, items, total, rechazo]) => ({ clave, tipo, cliente, fecha, items, total, rechazo }));
}

export function clavesPendientes(db) {
  return filas(db, `SELECT TSNL FROM ${TABLA_PROPIA} WHERE ESTADO = 'pendiente'`).map((r) => r[0]);
}

// A pending document as the editor shows it: its header and its lines, the lines' values as stored.
export function leerDocumento(db, clave) {
  const [cab] = filas(db, 'SELECT MV_CPTE_TIPOREG, MV_CPTE_IDCLIENTE, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA FROM MV_CPTE WHERE MV_CPTE_TSNL = ?', [clave]);
  if (!cab) return null;
  const lineas = filas(db, `SELECT MV_CPTE_DET_IDTAREA, MV_CPTE_DET_IDarticulo, MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_dto
    FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL = ? ORDER BY MV_CPTE_DET_ITEM`, [clave])
    .map(([tarea, articulo, cantidad, descuento]) => ({ tarea, articulo, cantidad: Number(cantidad), descuento: Number(descuento) || 0 }));
  return { clave, tipo: cab[0], cliente: cab[1], fecha: cab[2], entrega: cab[3], lineas };
}

// After a sync that took the documents to the office: those sent are marked so, in the file the
// sync brought back (which keeps this application's table as an extra table).
export function marcarEnviados(db, claves, cuando) {
  for (const clave of claves) {
    db.run(`UPDATE ${TABLA_PROPIA} SET ESTADO = 'enviado', ENVIADO = ? WHERE TSNL = ? AND ESTADO = 'pendiente'`, [cuando, clave]);
    olvidarRechazo(db, clave);
  }
}

// Of `claves`, those an exchange took away: its answer keeps only the documents the ERP refused.
export function sinDocumento(db, claves) {
  return claves.filter((clave) => valor(db, 'SELECT count(*) FROM MV_CPTE WHERE MV_CPTE_TSNL = ?', [clave]) === 0);
}

// The office's reasons for the documents it refused this time; a document it did not name stays
// marked as refused, with no reason known.
export function anotarRechazos(db, quedan, rechazados, cuando) {
  const motivos = new Map(rechazados.map((r) => [r.clave, r.motivo]));
  for (const clave of quedan) {
    db.run(`INSERT OR REPLACE INTO ${TABLA_RECHAZOS} (TSNL, MOTIVO, CUANDO) VALUES (?, ?, ?)`,
      [clave, motivos.get(clave) || 'La oficina no dio el motivo.', cuando]);
  }
  return quedan.map((clave) => ({ clave, motivo: motivos.get(clave) || 'La oficina no dio el motivo.' }));
}
