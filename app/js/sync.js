// One sync with the network cradle (kvcradle). The phone sends its handheld file and gets the
// file back as it is after the sync, with the sync's id; only once that file is stored here does
// the phone confirm it (`…/ID/done`), and only a confirmed sync counts on either side. A sync
// that fails or loses its answer at any step leaves the phone's file as it was.
//
// While the operator waits for this device's send or receive (GET /status says so), the sync is
// that one (/sync); otherwise the phone exchanges on its own (/exchange): its documents in, its
// fresh data out.

export const RUTA_SINCRONIZACION = '/sync';
export const RUTA_INTERCAMBIO = '/exchange';
// The confirmation of a sync whose answer named ID: the sync's own path, then /ID/done.
export const confirmacion = (ruta, id) => `${ruta}/${encodeURIComponent(id)}/done`;
export const CABECERA_ID = 'X-Kvcradle-Sync';
const ESPERA_MS = 120000;

export class ErrorSincronizacion extends Error {
  constructor(mensaje, { codigo = '', estado = 0, tokenVencido = false } = {}) {
    super(mensaje);
    this.codigo = codigo;
    this.estado = estado;
    this.tokenVencido = tokenVencido;
  }
}

const VINCULAR_DE_NUEVO = 'El servidor no reconoce el código de este equipo: pida al operador un nuevo enlace de vinculación.';
const OCUPADO = 'El servidor está ocupado con otra sincronización: vuelva a intentar en un momento.';
const ARCHIVO_RECHAZADO = 'El servidor no aceptó el archivo del equipo.';
const SIGUEN_AQUI = 'Los documentos siguen guardados en este equipo y no se duplican al volver a sincronizar.';

// What the salesperson can do about each refusal, by the cradle's code (code/status where one
// code means different things on different paths).
const POR_CODIGO = {
  'no-token': VINCULAR_DE_NUEVO,
  'wrong-token': VINCULAR_DE_NUEVO,
  'conduit-not-ready': 'La oficina no espera ahora una sincronización de este equipo.',
  'wrong-device/409': 'La oficina espera la sincronización de otro equipo.',
  'wrong-device/422': 'El archivo de este teléfono es de otro número de equipo: pida al operador un nuevo enlace de vinculación.',
  'sync-under-way': OCUPADO,
  'exchanges-busy': 'El servidor está ocupado con las sincronizaciones de otros equipos: vuelva a intentar en un momento.',
  'stopping': 'El servidor se está deteniendo: vuelva a intentar en un momento.',
  'exchange-off': 'El servidor no está preparado para sincronizar sin el operador: pídale que lo inicie con la conexión al sistema de la oficina, o que espere la sincronización de este equipo.',
  'erp-unavailable': 'El sistema de la oficina no puede recibir documentos ahora. ' + SIGUEN_AQUI,
  'export-failed': 'La oficina no pudo preparar los datos de este equipo: avise al operador. ' + SIGUEN_AQUI,
  'unknown-exchange': 'El servidor dejó de esperar la confirmación de esta sincronización: vuelva a sincronizar. ' + SIGUEN_AQUI,
  'unknown-sync': 'El servidor dejó de esperar la confirmación de esta sincronización: vuelva a sincronizar. ' + SIGUEN_AQUI,
  'too-large': 'El archivo del equipo supera el tamaño que acepta el servidor.',
  'not-sqlite': ARCHIVO_RECHAZADO,
  'tables-missing': ARCHIVO_RECHAZADO,
  'schema-refused': ARCHIVO_RECHAZADO,
  'content-refused': ARCHIVO_RECHAZADO,
  'too-much-work': ARCHIVO_RECHAZADO,
  'sync-failed': 'El servidor no pudo completar la sincronización.',
  'cradle-fault': 'El servidor tuvo una falla: avise al operador.',
};
const POR_ESTADO = {
  401: VINCULAR_DE_NUEVO,
  404: 'El servidor no ofrece esta sincronización.',
  409: POR_CODIGO['conduit-not-ready'],
  413: POR_CODIGO['too-large'],
  422: ARCHIVO_RECHAZADO,
  500: POR_CODIGO['cradle-fault'],
  503: OCUPADO,
};

// The salesperson's words for what the cradle refused, then the cradle's own message, for
// whoever helps at the office; how long to wait when the cradle says so.
export function motivo(estado, cuerpo, reintentar = '') {
  let j = null;
  try { j = JSON.parse(cuerpo); } catch { /* not JSON */ }
  const codigo = j && typeof j.error === 'string' ? j.error : '';
  const mensaje = j && typeof j.message === 'string' ? j.message.slice(0, 500) : '';
  const propio = POR_CODIGO[`${codigo}/${estado}`] || POR_CODIGO[codigo] || POR_ESTADO[estado] || `El servidor respondió ${estado}.`;
  const segundos = /^\d{1,5}$/.test(String(reintentar).trim()) ? Number(reintentar) : 0;
  const espera = segundos ? ` Puede volver a intentar en ${segundos} ${segundos === 1 ? 'segundo' : 'segundos'}.` : '';
  const texto = propio + espera + (mensaje ? ` (Servidor: ${mensaje})` : '');
  return new ErrorSincronizacion(texto, { codigo, estado, tokenVencido: estado === 401 });
}

function rechazo(x) {
  return motivo(x.status, texto(x), x.getResponseHeader('Retry-After') || '');
}

function pedido({ metodo, url, token, cuerpo, binario, avance }) {
  return new Promise((resolve, reject) => {
    const x = new XMLHttpRequest();
    x.open(metodo, url);
    x.timeout = ESPERA_MS;
    if (binario) x.responseType = 'arraybuffer';
    if (token) x.setRequestHeader('Authorization', 'Bearer ' + token);
    if (cuerpo) x.setRequestHeader('Content-Type', 'application/vnd.sqlite3');
    if (avance) {
      x.upload.onprogress = (e) => avance('envio', e.loaded, e.lengthComputable ? e.total : 0);
      x.onprogress = (e) => avance('recepcion', e.loaded, e.lengthComputable ? e.total : 0);
    }
    const caida = (texto) => () => reject(new ErrorSincronizacion(texto, { codigo: 'sin-respuesta' }));
    x.onerror = caida('Se perdió la conexión con el servidor antes de terminar.');
    x.ontimeout = caida('El servidor no respondió a tiempo.');
    x.onabort = caida('La sincronización se interrumpió.');
    x.onload = () => resolve(x);
    x.send(cuerpo || null);
  });
}

function texto(x) {
  if (x.responseType === 'arraybuffer') return x.response ? new TextDecoder().decode(x.response) : '';
  return x.responseText;
}

export async function estadoServidor(servidor) {
  const x = await pedido({ metodo: 'GET', url: servidor + '/status' });
  if (x.status !== 200) throw rechazo(x);
  let j;
  try { j = JSON.parse(texto(x)); } catch { throw new ErrorSincronizacion('El servidor respondió algo que no se entiende.'); }
  return j && typeof j === 'object' ? j : {};
}

// Which sync to run: the operator's waiting one for this device, else the exchange. A cradle that
// says it takes no exchanges is not sent the file for nothing.
export function elegirRuta(estado, dispositivo) {
  const espera = estado.registered === true && estado.enabled === true &&
    (estado.device === dispositivo || estado.device === 0);
  if (espera) return { ruta: RUTA_SINCRONIZACION, direccion: estado.direction === 'receive' ? 'recepcion' : 'envio' };
  const intercambios = estado.exchanges;
  if (intercambios && typeof intercambios === 'object' && intercambios.offered === false)
    throw motivo(409, JSON.stringify({ error: 'exchange-off' }));
  return { ruta: RUTA_INTERCAMBIO, direccion: 'intercambio' };
}

// Sends the file, returns {bytes, id}: the file after the sync and the id to confirm (empty when
// the cradle counts its syncs without a confirmation).
export async function enviar(servidor, token, ruta, bytes, avance) {
  const x = await pedido({ metodo: 'POST', url: servidor + ruta, token, cuerpo: bytes, binario: true, avance });
  if (x.status !== 200) throw rechazo(x);
  const tipo = (x.getResponseHeader('Content-Type') || '').split(';')[0].trim();
  if (tipo !== 'application/vnd.sqlite3') throw new ErrorSincronizacion('El servidor respondió algo que no es un archivo del equipo.');
  const id = (x.getResponseHeader(CABECERA_ID) || '').trim();
  if (id && !/^[A-Za-z0-9_-]{1,128}$/.test(id)) throw new ErrorSincronizacion('El servidor dio un número de sincronización inválido.');
  return { bytes: new Uint8Array(x.response), id };
}

// Confirms the sync; returns the exchange's report (null for a sync, whose answer carries none).
export async function confirmar(servidor, token, ruta, id) {
  const x = await pedido({ metodo: 'POST', url: servidor + confirmacion(ruta, id), token });
  if (x.status < 200 || x.status > 299) throw rechazo(x);
  return ruta === RUTA_INTERCAMBIO ? leerInforme(texto(x)) : null;
}

const listaDeTextos = (v) => (Array.isArray(v) ? v.filter((k) => typeof k === 'string').map((k) => k.slice(0, 64)) : []);

// The exchange's report, taken apart with care: it came from the network. Whatever is missing or
// malformed reads as empty; the answer's file, not this report, says which documents stayed.
export function leerInforme(cuerpo) {
  let j = null;
  try { j = JSON.parse(cuerpo); } catch { /* not JSON */ }
  if (!j || typeof j !== 'object') j = {};
  const rechazados = (Array.isArray(j.refused) ? j.refused : [])
    .filter((r) => r && typeof r.key === 'string')
    .map((r) => ({ clave: r.key.slice(0, 64), motivo: typeof r.reason === 'string' ? r.reason.slice(0, 500) : '' }));
  const tablas = (Array.isArray(j.tables) ? j.tables : [])
    .filter((t) => t && typeof t.table === 'string' && Number.isFinite(t.rows))
    .map((t) => ({ tabla: t.table.slice(0, 64), filas: t.rows }));
  return { importados: listaDeTextos(j.imported), existentes: listaDeTextos(j.existing), rechazados, tablas };
}
