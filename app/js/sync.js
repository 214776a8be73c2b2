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

// The operator's words for what the cradle refused; its own message when it gave one.
function motivo(estado, cuerpo) {
  let j = null;
  try { j = JSON.parse(cuerpo); } catch { /* not JSON */ }
  const codigo = j && typeof j.error === 'string' ? j.error : '';
  const mensaje = j && typeof j.message === 'string' ? j.message.slice(0, 500) : '';
  const porCodigo = {
    'no-token': 'El servidor no reconoce el código de este equipo: pida al operador un nuevo enlace de vinculación.',
    'wrong-token': 'El servidor no reconoce el código de este equipo: pida al operador un nuevo enlace de vinculación.',
    'conduit-not-ready': 'La oficina no espera ahora una sincronización de este equipo.',
    'wrong-device': 'La oficina espera la sincronización de otro equipo.',
    'sync-under-way': 'El servidor está ocupado con otra sincronización: vuelva a intentar en un momento.',
    'too-large': 'El archivo del equipo supera el tamaño que acepta el servidor.',
    'not-sqlite': 'El servidor no aceptó el archivo del equipo.',
    'tables-missing': 'El servidor no aceptó el archivo del equipo.',
    'sync-failed': 'El servidor no pudo completar la sincronización.',
  };
  const porEstado = {
    401: porCodigo['wrong-token'],
    404: 'El servidor no ofrece esta sincronización.',
    409: porCodigo['conduit-not-ready'],
    413: porCodigo['too-large'],
    503: porCodigo['sync-under-way'],
  };
  const propio = porCodigo[codigo] || porEstado[estado] || `El servidor respondió ${estado}.`;
  // The cradle's own words follow, for whoever helps at the office.
  const texto = mensaje ? `${propio} (Servidor: ${mensaje})` : propio;
  return new ErrorSincronizacion(texto, { codigo, estado, tokenVencido: estado === 401 });
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
  if (x.status !== 200) throw motivo(x.status, texto(x));
  let j;
  try { j = JSON.parse(texto(x)); } catch { throw new ErrorSincronizacion('El servidor respondió algo que no se entiende.'); }
  return j && typeof j === 'object' ? j : {};
}

// Which sync to run: the operator's waiting one for this device, else the exchange.
export function elegirRuta(estado, dispositivo) {
  const espera = estado.registered === true && estado.enabled === true &&
    (estado.device === dispositivo || estado.device === 0);
  return espera
    ? { ruta: RUTA_SINCRONIZACION, direccion: estado.direction === 'receive' ? 'recepcion' : 'envio' }
    : { ruta: RUTA_INTERCAMBIO, direccion: 'intercambio' };
}

// Sends the file, returns {bytes, id}: the file after the sync and the id to confirm (empty when
// the cradle counts its syncs without a confirmation).
export async function enviar(servidor, token, ruta, bytes, avance) {
  const x = await pedido({ metodo: 'POST', url: servidor + ruta, token, cuerpo: bytes, binario: true, avance });
  if (x.status !== 200) throw motivo(x.status, texto(x));
  const tipo = (x.getResponseHeader('Content-Type') || '').split(';')[0].trim();
  if (tipo !== 'application/vnd.sqlite3') throw new ErrorSincronizacion('El servidor respondió algo que no es un archivo del equipo.');
  const id = (x.getResponseHeader(CABECERA_ID) || '').trim();
  if (id && !/^[A-Za-z0-9_-]{1,128}$/.test(id)) throw new ErrorSincronizacion('El servidor dio un número de sincronización inválido.');
  return { bytes: new Uint8Array(x.response), id };
}

export async function confirmar(servidor, token, ruta, id) {
  const x = await pedido({ metodo: 'POST', url: servidor + confirmacion(ruta, id), token });
  if (x.status < 200 || x.status > 299) throw motivo(x.status, texto(x));
}
