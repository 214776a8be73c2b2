// kvmovil: start-up, pairing and the three screens (clients, pending documents, sync).
import { h, pantalla, fechaHora } from './ui/dom.js';
import { sesion, iniciar, leerEnlace, vincular, vinculado, guardarArchivo, ultimaExitosa } from './session.js';
import { guardarDocumento, borrarDocumento, leerDocumento, clavesPendientes, nombreTipo } from './documents.js';
import { pantallaClientes } from './ui/clients.js';
import { pantallaPendientes } from './ui/pending.js';
import { pantallaEditor, partesDe } from './ui/editor.js';
import { pantallaSincronizar } from './ui/syncview.js';

let actual = 'clientes';

function barra() {
  const red = document.getElementById('red');
  red.textContent = navigator.onLine ? 'En línea' : 'Sin conexión';
  red.classList.toggle('sin-conexion', !navigator.onLine);
  const u = ultimaExitosa();
  document.getElementById('ultima').textContent = u ? `Última sincronización: ${fechaHora(u.cuando)}` : 'Nunca sincronizado';
  const v = sesion.vinculo;
  document.getElementById('equipo').textContent = v ? `· Equipo Nº ${v.dispositivo}` : '';
  const n = sesion.handheld ? clavesPendientes(sesion.handheld.db).length : 0;
  document.getElementById('cuenta-pendientes').textContent = n ? String(n) : '';
}

function ir(destino) {
  actual = destino;
  marcarPestana();
  barra();
  if (!vinculado()) return pantallaVincular();
  if (destino === 'clientes') pantallaClientes(nuevo);
  else if (destino === 'pendientes') pantallaPendientes({ abrir, borrar });
  else pantallaSincronizar(barra);
  document.getElementById('pantalla').focus({ preventScroll: true });
}

function pantallaVincular(error) {
  const vencido = sesion.vinculo && !sesion.vinculo.token;
  pantalla(h('h1', {}, 'Vincular este teléfono'),
    error ? h('p', { clase: 'error', role: 'alert' }, error) : null,
    vencido ? h('p', { clase: 'aviso' }, 'El código de este equipo ya no vale (se renovó en la oficina). Sus documentos siguen guardados aquí.') : null,
    h('p', {}, 'Abra en este teléfono el enlace de vinculación que le da el operador, o escanee su código QR.'),
    h('p', { clase: 'detalle' }, 'En la oficina: kvctl cradle pair N, o el botón «Vincular teléfono» en los parámetros del equipo.'));
}

async function guardar(doc) {
  const clave = guardarDocumento(sesion.handheld, doc);
  await guardarArchivo();
  barra();
  pantallaPendientes({ abrir, borrar });
  document.getElementById('pantalla').prepend(h('p', { clase: 'bien', role: 'status' }, `${nombreTipo(doc.tipo)} ${clave} guardado.`));
  actual = 'pendientes';
  marcarPestana();
}

function marcarPestana() {
  for (const b of document.querySelectorAll('.pestanas button'))
    if (b.dataset.ir === actual) b.setAttribute('aria-current', 'page'); else b.removeAttribute('aria-current');
}

function nuevo(cliente) {
  pantallaEditor({ clave: null, tipo: 'NP', cliente, fecha: null, entrega: null, partes: [] }, { guardar, cancelar: () => ir('clientes') });
}

function abrir(clave) {
  const leido = leerDocumento(sesion.handheld.db, clave);
  if (!leido) return ir('pendientes');
  const cliente = sesion.catalogo.cliente(leido.cliente);
  if (!cliente) {
    pantalla(h('p', { clase: 'error' }, `El cliente ${leido.cliente} del documento ${clave} ya no está en este equipo: el documento se puede eliminar, no cambiar.`));
    return;
  }
  pantallaEditor({ ...leido, cliente, partes: partesDe(leido, cliente) }, { guardar, cancelar: () => ir('pendientes') });
}

function borrar(clave) {
  pantalla(h('h1', {}, 'Eliminar documento'),
    h('p', {}, `¿Eliminar el documento ${clave}? No se puede deshacer.`),
    h('div', { clase: 'acciones' },
      h('button', { type: 'button', onclick: () => ir('pendientes') }, 'No'),
      h('button', { type: 'button', clase: 'principal', onclick: async () => {
        borrarDocumento(sesion.handheld, clave);
        await guardarArchivo();
        ir('pendientes');
      } }, 'Sí, eliminar')));
}

async function enlace() {
  if (!location.hash) return;
  let v;
  try {
    v = leerEnlace(location.hash);
  } catch (e) {
    history.replaceState(null, '', location.pathname);
    return pantallaVincular(e.message);
  }
  // The token leaves the address bar at once; it stays only in this phone's storage.
  history.replaceState(null, '', location.pathname);
  if (!v) return;
  try {
    await vincular(v);
  } catch (e) {
    return pantallaVincular(e.message);
  }
  ir('clientes');
  document.getElementById('pantalla').prepend(h('p', { clase: 'bien', role: 'status' }, `Teléfono vinculado como equipo Nº ${v.dispositivo}. Sincronice para traer los clientes.`));
}

async function arrancar() {
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch((e) => console.warn('service worker:', e.message));
  }
  for (const b of document.querySelectorAll('.pestanas button')) b.addEventListener('click', () => ir(b.dataset.ir));
  addEventListener('online', () => { barra(); if (actual === 'sincronizar' && vinculado()) ir(actual); });
  addEventListener('offline', () => { barra(); if (actual === 'sincronizar' && vinculado()) ir(actual); });
  addEventListener('hashchange', enlace);
  try {
    await iniciar();
  } catch (e) {
    pantalla(h('p', { clase: 'error', role: 'alert' }, 'No se pudo abrir el archivo del equipo: ' + e.message));
    return;
  }
  ir('clientes');
  await enlace();
  document.body.dataset.listo = '1';
}

arrancar();
