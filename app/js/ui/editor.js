// A document for a client: its type, delivery date and lines (articles priced from the client's
// list, or a work order's tasks), with line and document totals.
import { h, pantalla, dinero, buscador, idUnico } from './dom.js';
import { sesion } from '../session.js';
import { TIPOS, lineaArticulo, lineaTarea, totales, hoy } from '../documents.js';

const RESULTADOS = 20;

function manana() {
  const d = new Date();
  d.setDate(d.getDate() + 1);
  return hoy(d);
}

// `doc`: {clave, tipo, cliente, fecha, entrega, partes: [{articulo|tarea, cantidad}]}.
export function pantallaEditor(doc, { guardar, cancelar }) {
  const cat = sesion.catalogo;
  const cliente = doc.cliente;
  const esOT = () => doc.tipo === 'OT';
  const lineas = () => doc.partes.map((p) => (p.tarea ? lineaTarea(p.tarea, p.cantidad) : lineaArticulo(p.articulo, p.cantidad, cliente.descuento)));

  const listaLineas = h('ul', { clase: 'lista', 'aria-label': 'Líneas del documento' });
  const resultados = h('ul', { clase: 'lista', 'aria-label': 'Resultados de la búsqueda' });
  const cajaTotales = h('div', { clase: 'totales', 'aria-live': 'polite' });
  const mensaje = h('div', { role: 'alert' });
  let consulta = '';

  const dibujarTotales = () => {
    const t = totales(lineas());
    cajaTotales.replaceChildren(
      h('div', {}, h('span', {}, 'Neto'), h('span', { clase: 'importe' }, dinero(t.neto))),
      h('div', {}, h('span', {}, 'IVA'), h('span', { clase: 'importe' }, dinero(t.iva))),
      h('div', { clase: 'total' }, h('span', {}, 'Total'), h('span', { clase: 'importe', 'data-total': t.total }, dinero(t.total))));
  };

  const dibujarLineas = () => {
    const ls = lineas();
    listaLineas.replaceChildren(...doc.partes.map((p, i) => {
      const id = idUnico('cantidad');
      const l = ls[i];
      return h('li', { 'data-linea': i },
        h('div', { clase: 'texto linea' },
          h('div', { clase: 'nombre' }, l.descripcion || '(sin descripción)'),
          h('div', { clase: 'importe', 'data-total-linea': l.total }, dinero(l.total)),
          h('div', { clase: 'detalle' }, `${(p.tarea ? p.tarea.id : p.articulo.articulo.id).trim()} · ${dinero(l.precio)} ${p.tarea ? 'la hora' : 'c/u'}`),
          h('div', {},
            h('label', { for: id, clase: 'sr' }, `${p.tarea ? 'Horas' : 'Cantidad'} de ${l.descripcion}`),
            h('input', { id, clase: 'cantidad', type: 'number', inputmode: 'decimal', min: '0', step: 'any', value: String(p.cantidad),
              onchange: (e) => { p.cantidad = Number(e.target.value); dibujarLineas(); } }))),
        h('button', { type: 'button', 'aria-label': `Quitar ${l.descripcion}`, onclick: () => { doc.partes.splice(i, 1); dibujarLineas(); } }, 'Quitar'));
    }));
    if (!doc.partes.length) listaLineas.append(h('li', { clase: 'detalle' }, 'Todavía no hay líneas.'));
    dibujarTotales();
  };

  const dibujarResultados = () => {
    const encontrados = esOT() ? cat.buscarTareas(consulta) : cat.buscarArticulos(cliente, consulta);
    resultados.replaceChildren(...encontrados.slice(0, RESULTADOS).map((r) => {
      const tarea = esOT() ? r : null;
      const nombre = tarea ? r.descripcion : r.articulo.descripcion;
      const codigo = (tarea ? r.id : r.articulo.id).trim();
      const precio = tarea ? `${dinero(r.valorHora)} la hora` : dinero(r.bruto);
      return h('li', {},
        h('div', { clase: 'texto' }, h('div', { clase: 'nombre' }, nombre), h('div', { clase: 'detalle' }, `${codigo} · ${precio}`)),
        h('button', { type: 'button', 'aria-label': `Agregar ${nombre}`, 'data-codigo': codigo, onclick: () => {
          doc.partes.push(tarea ? { tarea, cantidad: r.horas > 0 ? r.horas : 1 } : { articulo: r, cantidad: 1 });
          dibujarLineas();
        } }, 'Agregar'));
    }));
    if (!encontrados.length) resultados.append(h('li', { clase: 'detalle' }, esOT() ? 'Ninguna tarea coincide.' : 'Ningún artículo coincide.'));
  };

  const idTipo = idUnico('tipo');
  const idEntrega = idUnico('entrega');
  const busqueda = buscador(esOT() ? 'Agregar tarea: buscar por descripción o código' : 'Agregar artículo: buscar por descripción o código',
    (q) => { consulta = q; dibujarResultados(); });
  const tipo = h('select', { id: idTipo, disabled: !!doc.clave, onchange: (e) => {
    const antes = esOT();
    doc.tipo = e.target.value;
    if (antes !== esOT()) {
      doc.partes = [];
      busqueda.nodo[0].textContent = esOT() ? 'Agregar tarea: buscar por descripción o código' : 'Agregar artículo: buscar por descripción o código';
      mensaje.replaceChildren(h('p', { clase: 'aviso' }, 'Se quitaron las líneas: una orden de trabajo lleva tareas y los demás documentos, artículos.'));
    }
    dibujarLineas();
    dibujarResultados();
  } }, TIPOS.map((t) => h('option', { value: t.codigo, selected: t.codigo === doc.tipo }, `${t.nombre} (${t.codigo})`)));
  const entrega = h('input', { id: idEntrega, type: 'date', value: doc.entrega || (doc.tipo === 'RM' ? hoy() : manana()),
    onchange: (e) => { doc.entrega = e.target.value; } });
  doc.entrega = entrega.value;

  pantalla(
    h('h1', {}, doc.clave ? `Documento ${doc.clave}` : 'Nuevo documento'),
    h('p', {}, h('span', { clase: 'nombre' }, cliente.nombre), ' ', h('span', { clase: 'detalle' }, `(${cliente.id.trim()}${cliente.lista ? ', lista ' + cliente.lista : ''}${cliente.descuento ? ', descuento ' + cliente.descuento + '%' : ''})`)),
    h('label', { for: idTipo }, 'Tipo de documento'), tipo,
    h('label', { for: idEntrega }, 'Fecha de entrega'), entrega,
    h('h2', {}, 'Líneas'), listaLineas, cajaTotales, mensaje,
    busqueda.nodo, resultados,
    h('div', { clase: 'acciones' },
      h('button', { type: 'button', onclick: cancelar }, 'Cancelar'),
      h('button', { type: 'button', clase: 'principal', onclick: async () => {
        try {
          await guardar({ clave: doc.clave, tipo: doc.tipo, cliente, fecha: doc.fecha || hoy(), entrega: doc.entrega || hoy(), lineas: lineas() });
        } catch (e) {
          mensaje.replaceChildren(h('p', { clase: 'error' }, e.message));
        }
      } }, 'Guardar')));
  dibujarLineas();
  dibujarResultados();
}

// The editor's parts for a stored document, priced again from the handheld's current tables.
export function partesDe(leido, cliente) {
  const cat = sesion.catalogo;
  const precios = cat.preciosPara(cliente);
  const partes = [];
  for (const l of leido.lineas) {
    if (l.tarea !== null && l.tarea !== undefined) {
      const tarea = cat.tareas.find((t) => t.id === l.tarea);
      if (tarea) partes.push({ tarea, cantidad: l.cantidad });
    } else {
      const articulo = precios.find((p) => p.articulo.id === l.articulo);
      if (articulo) partes.push({ articulo, cantidad: l.cantidad });
    }
  }
  return partes;
}
