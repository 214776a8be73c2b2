// Documents typed here and not yet sent: each can be opened, changed or deleted until its sync.
import { h, pantalla, dinero, fecha } from './dom.js';
import { sesion } from '../session.js';
import { pendientes, nombreTipo } from '../documents.js';

export function pantallaPendientes({ abrir, borrar }) {
  const docs = pendientes(sesion.handheld.db);
  if (!docs.length) {
    pantalla(h('h1', {}, 'Pendientes'), h('p', { clase: 'bien' }, 'No hay documentos pendientes de envío.'));
    return;
  }
  const nombre = (id) => (sesion.catalogo.cliente(id) || { nombre: id }).nombre;
  pantalla(h('h1', {}, 'Pendientes'),
    h('p', { clase: 'detalle' }, `${docs.length} ${docs.length === 1 ? 'documento' : 'documentos'} sin enviar`),
    h('ul', { clase: 'lista', 'aria-label': 'Documentos pendientes' }, docs.map((d) => h('li', { 'data-documento': d.clave },
      h('div', { clase: 'texto' },
        h('div', { clase: 'nombre' }, nombreTipo(d.tipo)),
        h('div', { clase: 'detalle clave' }, d.clave),
        h('div', { clase: 'detalle' }, nombre(d.cliente)),
        h('div', { clase: 'detalle' }, `${fecha(d.fecha)} · ${d.items} ${Number(d.items) === 1 ? 'línea' : 'líneas'} · `, h('span', { clase: 'importe' }, dinero(d.total))),
        d.rechazo ? h('div', { clase: 'rechazo', 'data-rechazo': '' }, 'Rechazado por la oficina: ' + d.rechazo) : null),
      h('button', { type: 'button', 'aria-label': `Abrir ${d.clave}`, onclick: () => abrir(d.clave) }, 'Abrir'),
      h('button', { type: 'button', clase: 'peligro', 'aria-label': `Eliminar ${d.clave}`, onclick: () => borrar(d.clave) }, 'Eliminar')))));
}
