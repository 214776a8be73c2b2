// The sync button, its progress and the result: documents sent, documents refused and why, and
// when the data was brought up to date.
import { h, pantalla, fechaHora } from './dom.js';
import { sesion, sincronizar } from '../session.js';
import { clavesPendientes } from '../documents.js';

export function dibujarResultado(r) {
  if (!r) return h('p', { clase: 'detalle' }, 'Este equipo todavía no se sincronizó.');
  if (!r.ok) {
    return h('div', { clase: 'error', 'data-resultado': 'error' },
      h('p', {}, h('strong', {}, `La sincronización del ${fechaHora(r.cuando)} no se completó.`)),
      h('p', {}, r.texto),
      h('p', {}, 'No se cambió nada en este equipo: los documentos siguen pendientes.'));
  }
  const rechazados = r.rechazados || [];
  return h('div', { clase: rechazados.length ? 'aviso' : 'bien', 'data-resultado': 'ok' },
    h('p', {}, h('strong', {}, `Sincronizado el ${fechaHora(r.cuando)}.`)),
    h('p', { 'data-enviados': r.enviados }, `Documentos enviados: ${r.enviados}`,
      r.yaEstaban ? ` (${r.yaEstaban} ya ${r.yaEstaban === 1 ? 'estaba' : 'estaban'} en la oficina)` : ''),
    h('p', { 'data-rechazados': rechazados.length }, rechazados.length ? `Documentos rechazados: ${rechazados.length}` : 'Documentos rechazados: ninguno'),
    rechazados.length ? h('ul', { clase: 'rechazos', 'aria-label': 'Documentos rechazados' },
      rechazados.map((x) => h('li', { 'data-rechazado': x.clave }, h('strong', {}, x.clave), ': ', x.motivo))) : null,
    rechazados.length ? h('p', {}, 'Los documentos rechazados siguen en Pendientes: corríjalos o consulte a la oficina.') : null,
    h('p', {}, r.datos ? `Datos actualizados el ${fechaHora(r.cuando)}` + (r.filas ? ` (${r.filas} registros).` : '.') : r.texto),
    r.nota ? h('p', {}, r.nota) : null);
}

export function pantallaSincronizar(alTerminar) {
  const cuenta = h('p', {});
  const contar = () => {
    const n = clavesPendientes(sesion.handheld.db).length;
    cuenta.textContent = n ? `${n} ${n === 1 ? 'documento pendiente' : 'documentos pendientes'} de envío.` : 'No hay documentos pendientes.';
  };
  contar();
  const barra = h('progress', { max: '1', value: '0', clase: 'oculto', 'aria-label': 'Avance de la sincronización' });
  const paso = h('p', { role: 'status', 'aria-live': 'polite' });
  const resultado = h('div', { 'aria-live': 'polite' }, dibujarResultado(sesion.ultima));
  const boton = h('button', { type: 'button', clase: 'principal sincronizar', onclick: async () => {
    boton.disabled = true;
    barra.classList.remove('oculto');
    resultado.replaceChildren();
    const r = await sincronizar((texto, fraccion) => { paso.textContent = texto; barra.value = fraccion; });
    barra.classList.add('oculto');
    paso.textContent = '';
    resultado.replaceChildren(dibujarResultado(r));
    boton.disabled = false;
    contar();
    alTerminar();
  } }, 'Sincronizar');
  const fuera = !navigator.onLine;
  pantalla(h('h1', {}, 'Sincronizar'),
    cuenta,
    fuera ? h('p', { clase: 'aviso' }, 'Sin conexión: la sincronización necesita la red del servidor.') : null,
    boton, barra, paso, resultado);
}
