// Builds elements; text always goes in as text, never as markup, whatever the handheld file or
// the network brought.
export function h(etiqueta, atributos = {}, ...hijos) {
  const e = document.createElement(etiqueta);
  for (const [k, v] of Object.entries(atributos)) {
    if (v === null || v === undefined || v === false) continue;
    if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (k === 'clase') e.className = v;
    else e.setAttribute(k, v === true ? '' : String(v));
  }
  for (const hijo of hijos.flat()) {
    if (hijo === null || hijo === undefined || hijo === false) continue;
    e.append(hijo instanceof Node ? hijo : document.createTextNode(String(hijo)));
  }
  return e;
}

const formato = new Intl.NumberFormat('es-AR', { minimumFractionDigits: 2, maximumFractionDigits: 2 });
export function dinero(v) {
  return '$ ' + formato.format(Number(v) || 0);
}

export function cantidad(v) {
  return new Intl.NumberFormat('es-AR', { maximumFractionDigits: 3 }).format(Number(v) || 0);
}

export function fechaHora(iso) {
  const d = new Date(iso);
  return d.toLocaleDateString('es-AR') + ' ' + d.toLocaleTimeString('es-AR', { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
}

export function fecha(iso) {
  const m = /^(\d{4})-(\d{2})-(\d{2})/.exec(String(iso || ''));
  return m ? `${m[3]}/${m[2]}/${m[1]}` : String(iso || '');
}

export function pantalla(...hijos) {
  const main = document.getElementById('pantalla');
  main.replaceChildren(...hijos.flat().filter((x) => x !== null && x !== undefined && x !== false));
  scrollTo(0, 0);
  return main;
}

let numero = 0;
export function idUnico(prefijo) {
  return `${prefijo}-${++numero}`;
}

// A search box with its label, calling `alCambiar` on each keystroke.
export function buscador(etiqueta, alCambiar, valor = '') {
  const id = idUnico('buscar');
  const entrada = h('input', { id, type: 'search', value: valor, autocomplete: 'off', oninput: (e) => alCambiar(e.target.value) });
  return { nodo: [h('label', { for: id }, etiqueta), entrada], entrada };
}
