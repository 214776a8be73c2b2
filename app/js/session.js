// The phone's state between screens: the pairing, the handheld file open in memory and its
// catalogue, the last sync. Every change to the file is stored at once.
import * as store from './store.js';
import { Handheld, iniciarSqlite, ArchivoInvalido, TABLA_PROPIA, filas } from './handheld.js';
import { Catalogo } from './catalogue.js';
import { clavesPendientes, marcarEnviados, sinDocumento, anotarRechazos, TABLA_NUMERACION } from './documents.js';
import { estadoServidor, elegirRuta, enviar, confirmar, ErrorSincronizacion } from './sync.js';

export const sesion = {
  vinculo: null, // {servidor, dispositivo, token}
  handheld: null,
  catalogo: null,
  modelo: null, // the empty handheld this application ships
  ultima: null, // {cuando, ok, texto, enviados, rechazados, datos}
  ocupado: false,
};

async function leerModelo(SQL) {
  const r = await fetch(new URL('../handheld-vacio.db', import.meta.url));
  if (!r.ok) throw new Error('No se encontró el archivo modelo de la aplicación.');
  return new SQL.Database(new Uint8Array(await r.arrayBuffer()));
}

export async function iniciar() {
  const SQL = await iniciarSqlite();
  sesion.modelo = await leerModelo(SQL);
  sesion.vinculo = (await store.obtener(store.VINCULO)) || null;
  sesion.ultima = (await store.obtener(store.ULTIMA)) || null;
  // A file that waited for a confirmation when the application stopped is dropped: whether the
  // cradle counted that sync is unknown, and the next sync sends the documents again (the import
  // never takes a document twice).
  if (await store.obtener(store.PROVISIONAL)) await store.guardar({ [store.PROVISIONAL]: undefined });
  const bytes = await store.obtener(store.ARCHIVO);
  if (bytes) abrirArchivo(bytes);
}

function abrirArchivo(bytes) {
  const h = Handheld.abrir(bytes, sesion.modelo);
  if (sesion.handheld) sesion.handheld.cerrar();
  sesion.handheld = h;
  sesion.catalogo = new Catalogo(h.db);
}

// An empty handheld for the device, from the application's model file.
function archivoNuevo(dispositivo) {
  const h = Handheld.abrir(sesion.modelo.export(), sesion.modelo);
  h.fijarDispositivo(dispositivo);
  const bytes = h.exportar();
  h.cerrar();
  return bytes;
}

export async function guardarArchivo() {
  await store.guardar({ [store.ARCHIVO]: sesion.handheld.exportar() });
}

// Reads a pairing link's fragment: server, device and token. Null when it carries none.
export function leerEnlace(fragmento) {
  const p = new URLSearchParams(fragmento.replace(/^#/, ''));
  const servidor = (p.get('server') || '').trim();
  const token = (p.get('token') || '').trim();
  const dispositivo = Number(p.get('device'));
  if (!servidor && !token) return null;
  let url;
  try { url = new URL(servidor); } catch { throw new Error('El enlace no trae una dirección de servidor válida.'); }
  if (url.protocol !== 'http:' && url.protocol !== 'https:') throw new Error('El enlace no trae una dirección de servidor válida.');
  if (!/^[A-Za-z0-9_-]{16,256}$/.test(token)) throw new Error('El enlace no trae un código de equipo válido.');
  if (!Number.isInteger(dispositivo) || dispositivo < 1) throw new Error('El enlace no dice qué número de equipo es este.');
  return { servidor: url.origin + url.pathname.replace(/\/+$/, ''), dispositivo, token };
}

// Keeps a new pairing. The same device keeps its file and documents; another device starts from
// an empty file, which is refused while documents wait to be sent.
export async function vincular(v) {
  const actual = sesion.handheld ? sesion.handheld.dispositivo() : 0;
  const cambios = { [store.VINCULO]: v };
  if (!sesion.handheld || actual !== v.dispositivo) {
    if (sesion.handheld && clavesPendientes(sesion.handheld.db).length)
      throw new Error(`Este teléfono tiene documentos del equipo Nº ${actual} sin enviar: sincronícelos antes de vincularlo como equipo Nº ${v.dispositivo}.`);
    const bytes = archivoNuevo(v.dispositivo);
    cambios[store.ARCHIVO] = bytes;
    cambios[store.ULTIMA] = undefined;
    await store.guardar(cambios);
    abrirArchivo(bytes);
    sesion.ultima = null;
  } else {
    await store.guardar(cambios);
  }
  sesion.vinculo = v;
}

// The token stopped working (renewed at the office): the pairing is asked for again; the file
// and its documents stay.
async function olvidarToken() {
  const v = { ...sesion.vinculo, token: '' };
  await store.guardar({ [store.VINCULO]: v });
  sesion.vinculo = v;
}

export function vinculado() {
  return !!(sesion.vinculo && sesion.vinculo.token && sesion.handheld);
}

// The bookkeeping of the documents typed here and the last numbers given, carried into the file a
// sync brought back should that file lack any of it: a number once given is never given again.
function traspasarRegistro(antes, despues) {
  for (const fila of filas(antes, `SELECT TSNL, ESTADO, GUARDADO, ENVIADO FROM ${TABLA_PROPIA}`))
    despues.run(`INSERT OR IGNORE INTO ${TABLA_PROPIA} (TSNL, ESTADO, GUARDADO, ENVIADO) VALUES (?, ?, ?, ?)`, fila);
  const hay = filas(antes, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", [TABLA_NUMERACION]).length;
  if (!hay) return;
  despues.run(`CREATE TABLE IF NOT EXISTS ${TABLA_NUMERACION} (TC TEXT NOT NULL, SUCURSAL TEXT NOT NULL,
    ULTIMO INTEGER NOT NULL, PRIMARY KEY (TC, SUCURSAL))`);
  for (const fila of filas(antes, `SELECT TC, SUCURSAL, ULTIMO FROM ${TABLA_NUMERACION}`)) {
    despues.run(`INSERT INTO ${TABLA_NUMERACION} (TC, SUCURSAL, ULTIMO) VALUES (?, ?, ?)
      ON CONFLICT (TC, SUCURSAL) DO UPDATE SET ULTIMO = max(ULTIMO, excluded.ULTIMO)`, fila);
  }
}

async function recordar(resultado) {
  sesion.ultima = resultado;
  await store.guardar({ [store.ULTIMA]: resultado });
}

// Which of the pending documents the sync delivered: an exchange's answer keeps only those the ERP
// refused; a receive takes them all; a send takes none.
function entregados(direccion, pendientesAntes, nuevo) {
  if (direccion === 'intercambio') return sinDocumento(nuevo.db, pendientesAntes);
  return direccion === 'recepcion' ? pendientesAntes : [];
}

function abrirRespuesta(bytes, dispositivo) {
  let nuevo;
  try {
    nuevo = Handheld.abrir(bytes, sesion.modelo);
  } catch (e) {
    throw new ErrorSincronizacion('El servidor devolvió un archivo inválido: ' + e.message);
  }
  const suyo = nuevo.dispositivo();
  if (suyo !== dispositivo) {
    nuevo.cerrar();
    throw new ErrorSincronizacion(`El servidor devolvió el archivo del equipo Nº ${suyo}, no el de este.`);
  }
  return nuevo;
}

// Stores the answer beside the file, confirms, and only then keeps it as the file, with the
// reasons of the documents the exchange refused. Returns the exchange's report (null for a sync).
async function guardarYConfirmar({ servidor, token, ruta, id, nuevo, quedan, cuando }) {
  if (!id) {
    await store.guardar({ [store.ARCHIVO]: nuevo.exportar() });
    return null;
  }
  await store.guardar({ [store.PROVISIONAL]: nuevo.exportar() });
  let informe;
  try {
    informe = await confirmar(servidor, token, ruta, id);
  } catch (e) {
    await store.guardar({ [store.PROVISIONAL]: undefined });
    throw e;
  }
  if (informe) informe.rechazados = nuevo.transaccion(() => anotarRechazos(nuevo.db, quedan, informe.rechazados, cuando));
  await store.guardar({ [store.ARCHIVO]: nuevo.exportar(), [store.PROVISIONAL]: undefined });
  return informe;
}

function resultadoDe(direccion, { cuando, enviados, informe, pendientesDespues }) {
  return {
    cuando, ok: true, enviados: enviados.length,
    yaEstaban: informe ? informe.existentes.filter((k) => enviados.includes(k)).length : 0,
    rechazados: informe ? informe.rechazados : [],
    filas: informe ? informe.tablas.reduce((n, t) => n + t.filas, 0) : null,
    datos: direccion !== 'recepcion',
    texto: direccion === 'recepcion' ? 'Datos sin cambios: la oficina recibía documentos.' : '',
    nota: direccion === 'envio' && pendientesDespues
      ? 'La oficina enviaba datos: los documentos pendientes van en la próxima sincronización.' : '',
  };
}

// The sync button. `avance(texto, fraccion)` tells the screen where it is. Returns the result
// that is also kept as the last sync.
export async function sincronizar(avance) {
  if (sesion.ocupado) throw new Error('Ya hay una sincronización en curso.');
  sesion.ocupado = true;
  const { servidor, token, dispositivo } = sesion.vinculo;
  const cuando = new Date().toISOString();
  let nuevo = null;
  try {
    avance('Consultando al servidor…', 0.05);
    const { ruta, direccion } = elegirRuta(await estadoServidor(servidor), dispositivo);
    const pendientesAntes = clavesPendientes(sesion.handheld.db);
    const bytes = sesion.handheld.exportar();
    avance(`Enviando ${kb(bytes.length)}…`, 0.1);
    const respuesta = await enviar(servidor, token, ruta, bytes, (fase, hecho, total) => {
      if (!total) return;
      if (fase === 'envio') avance(`Enviando ${kb(hecho)} de ${kb(total)}…`, 0.1 + 0.4 * hecho / total);
      else avance(`Recibiendo ${kb(hecho)} de ${kb(total)}…`, 0.5 + 0.3 * hecho / total);
    });
    avance('Revisando el archivo recibido…', 0.8);
    nuevo = abrirRespuesta(respuesta.bytes, dispositivo);
    const enviados = entregados(direccion, pendientesAntes, nuevo);
    const quedan = pendientesAntes.filter((k) => !enviados.includes(k));
    nuevo.transaccion(() => {
      traspasarRegistro(sesion.handheld.db, nuevo.db);
      marcarEnviados(nuevo.db, enviados, cuando);
    });
    avance('Guardando y confirmando…', 0.9);
    const informe = await guardarYConfirmar({ servidor, token, ruta, id: respuesta.id, nuevo, quedan, cuando });
    sesion.handheld.cerrar();
    sesion.handheld = nuevo;
    nuevo = null;
    sesion.catalogo = new Catalogo(sesion.handheld.db);
    const resultado = resultadoDe(direccion, { cuando, enviados, informe, pendientesDespues: clavesPendientes(sesion.handheld.db).length });
    await recordar(resultado);
    avance('Listo.', 1);
    return resultado;
  } catch (e) {
    if (nuevo) nuevo.cerrar();
    if (e instanceof ErrorSincronizacion && e.tokenVencido) await olvidarToken();
    const mensaje = e instanceof ArchivoInvalido || e instanceof ErrorSincronizacion ? e.message : 'Error inesperado: ' + e.message;
    const resultado = { cuando, ok: false, enviados: 0, rechazados: [], datos: false, texto: mensaje };
    await recordar({ ...resultado, anterior: sesion.ultima && (sesion.ultima.ok ? sesion.ultima : sesion.ultima.anterior) });
    return sesion.ultima;
  } finally {
    sesion.ocupado = false;
  }
}

// The last sync that succeeded, for the bar at the top.
export function ultimaExitosa() {
  const u = sesion.ultima;
  if (!u) return null;
  return u.ok ? u : u.anterior || null;
}

function kb(n) {
  return n < 1024 ? `${n} B` : `${Math.round(n / 1024)} KB`;
}
