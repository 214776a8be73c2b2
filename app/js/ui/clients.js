// The handheld's clients, searchable by name or code, each with its address and price list.
import { h, pantalla, buscador } from './dom.js';
import { sesion } from '../session.js';

const MOSTRADOS = 500; // a longer list is cut: the search narrows it

export function pantallaClientes(nuevoDocumento) {
  const lista = h('ul', { clase: 'lista', 'aria-label': 'Clientes' });
  const resumen = h('p', { clase: 'detalle', 'aria-live': 'polite' });
  const mostrar = (q) => {
    const todos = sesion.catalogo.buscarClientes(q);
    lista.replaceChildren(...todos.slice(0, MOSTRADOS).map((c) => h('li', { 'data-cliente': c.id },
      h('div', { clase: 'texto' },
        h('div', { clase: 'nombre' }, c.nombre || '(sin nombre)'),
        h('div', { clase: 'detalle' }, `Código ${c.id.trim()}`),
        h('div', { clase: 'detalle' }, [c.domicilio, c.localidad].filter((s) => s.trim()).join(', ') || 'Sin domicilio'),
        h('div', { clase: 'detalle' }, c.lista ? `Lista de precios ${c.lista}` : 'Sin lista de precios')),
      h('button', { type: 'button', 'aria-label': `Nuevo documento para ${c.nombre}`, onclick: () => nuevoDocumento(c) }, 'Nuevo'))));
    resumen.textContent = todos.length > MOSTRADOS
      ? `${todos.length} clientes; se muestran ${MOSTRADOS}: escriba para buscar.`
      : `${todos.length} ${todos.length === 1 ? 'cliente' : 'clientes'}`;
  };
  const b = buscador('Buscar por nombre o código', mostrar);
  if (!sesion.catalogo.clientes.length) {
    pantalla(h('h1', {}, 'Clientes'), h('p', { clase: 'aviso' }, 'Este equipo todavía no tiene clientes: sincronice cuando el operador envíe los datos.'));
    return;
  }
  pantalla(h('h1', {}, 'Clientes'), b.nodo, resumen, lista);
  mostrar('');
}
