// What a salesperson sells from: the handheld's clients, its articles priced from the client's
// price list, and the tasks of a work order. Prices follow the handheld's tables exactly as
// `kvhandheld capture` reads them, so a document typed here carries the amounts it would.
import { filas } from './handheld.js';

const CLASES = 5; // PRECIO1 to PRECIO5

export function redondear(v) {
  return Math.round(v * 100) / 100;
}

function numero(v) {
  if (v === null || v === undefined || v === '') return null;
  const n = Number(v);
  return Number.isFinite(n) ? n : null;
}

function texto(v) {
  return v === null || v === undefined ? '' : String(v);
}

export class Catalogo {
  constructor(db) {
    this.clientes = leerClientes(db);
    this.articulos = leerArticulos(db);
    this.listas = leerListas(db, this.articulos);
    this.tareas = leerTareas(db);
    this.precios = new Map();
  }

  cliente(id) {
    return this.clientes.find((c) => c.id === id) || null;
  }

  buscarClientes(consulta) {
    const q = consulta.trim().toLocaleLowerCase('es');
    if (!q) return this.clientes;
    return this.clientes.filter((c) => c.nombre.toLocaleLowerCase('es').includes(q) || c.id.toLocaleLowerCase('es').includes(q));
  }

  // The articles the client can be sold, with their prices: the client's own list, else the
  // first list the handheld holds, else the prices kept on the articles themselves.
  preciosPara(cliente) {
    const clave = cliente.lista + '|' + cliente.clase;
    if (this.precios.has(clave)) return this.precios.get(clave);
    let lista = this.deLista(cliente.lista, cliente.clase);
    for (const nombre of [...this.listas.keys()].sort()) {
      if (lista.length) break;
      lista = this.deLista(nombre, cliente.clase);
    }
    if (!lista.length) lista = this.deArticulos(cliente.clase);
    this.precios.set(clave, lista);
    return lista;
  }

  buscarArticulos(cliente, consulta) {
    const q = consulta.trim().toLocaleLowerCase('es');
    const todos = this.preciosPara(cliente);
    if (!q) return todos;
    return todos.filter((p) => p.articulo.descripcion.toLocaleLowerCase('es').includes(q) || p.articulo.id.toLocaleLowerCase('es').includes(q));
  }

  buscarTareas(consulta) {
    const q = consulta.trim().toLocaleLowerCase('es');
    if (!q) return this.tareas;
    return this.tareas.filter((t) => t.descripcion.toLocaleLowerCase('es').includes(q) || t.id.toLocaleLowerCase('es').includes(q));
  }

  deLista(nombre, clase) {
    const salida = [];
    for (const e of this.listas.get(nombre) || []) {
      // A list without a price for the client's class sells at its first price.
      const precio = e.precios[clase - 1] !== null ? e.precios[clase - 1] : e.precios[0];
      if (precio === null || precio < 0) continue;
      const factor = 1 + e.articulo.iva / 100;
      salida.push(e.conIva
        ? { articulo: e.articulo, neto: redondear(precio / factor), bruto: redondear(precio), conIva: true }
        : { articulo: e.articulo, neto: redondear(precio), bruto: redondear(precio * factor), conIva: false });
    }
    return salida;
  }

  // The articles' own prices are without VAT; class 5 has none of its own and takes the first.
  deArticulos(clase) {
    const salida = [];
    for (const a of this.articulos) {
      const propio = clase <= 4 ? a.propios[clase - 1] : null;
      const precio = propio !== null ? propio : a.propios[0];
      if (precio === null || precio < 0) continue;
      salida.push({ articulo: a, neto: redondear(precio), bruto: redondear(precio * (1 + a.iva / 100)), conIva: false });
    }
    return salida;
  }
}

function leerClientes(db) {
  return filas(db, "SELECT IDCLIENTE, DESCRIPCION, DOMICILIO, LOCALIDAD, IDLISTA, CLASE_PRECIO, DESCUENTO FROM MA_CLIENTES WHERE trim(IDCLIENTE) <> '' ORDER BY DESCRIPCION, IDCLIENTE")
    .map(([id, nombre, domicilio, localidad, lista, clase, descuento]) => {
      const c = Number(clase);
      return {
        id: String(id),
        nombre: texto(nombre),
        domicilio: texto(domicilio),
        localidad: texto(localidad),
        lista: texto(lista).trim(),
        clase: Number.isInteger(c) && c >= 1 && c <= CLASES ? c : 1,
        descuento: Math.min(100, Math.max(0, numero(descuento) ?? 0)),
      };
    });
}

function leerArticulos(db) {
  const vistos = new Set();
  const salida = [];
  for (const [id, descripcion, unidad, iva, ...propios] of filas(db, "SELECT IDARTICULO, DESCRIPCION, UNIDAD, ALICIVA, IMPORTE, IMPORTE2, IMPORTE3, IMPORTE4 FROM MA_ARTICULOS WHERE trim(IDARTICULO) <> '' ORDER BY IDARTICULO")) {
    const clave = String(id).trim();
    if (vistos.has(clave)) continue;
    vistos.add(clave);
    salida.push({ id: String(id), clave, descripcion: texto(descripcion), unidad, iva: Math.max(0, numero(iva) ?? 0), propios: propios.map(numero) });
  }
  return salida;
}

// Several entries of one list may name the same article under other list names: the first (by
// name) counts.
function leerListas(db, articulos) {
  const porClave = new Map(articulos.map((a) => [a.clave, a]));
  const listas = new Map();
  let ultima = null;
  for (const [lista, articulo, conIva, ...precios] of filas(db, "SELECT IDLISTA, IDARTICULO, CONIVA, PRECIO1, PRECIO2, PRECIO3, PRECIO4, PRECIO5 FROM MA_PRECIOS WHERE trim(IDLISTA) <> '' ORDER BY IDLISTA, IDARTICULO, NOMBRE")) {
    const nombre = String(lista).trim();
    const a = porClave.get(texto(articulo).trim());
    const clave = nombre + '|' + texto(articulo).trim();
    if (!a || clave === ultima) continue;
    ultima = clave;
    if (!listas.has(nombre)) listas.set(nombre, []);
    listas.get(nombre).push({ articulo: a, conIva: Number(conIva) !== 0, precios: precios.map(numero) });
  }
  return listas;
}

function leerTareas(db) {
  return filas(db, "SELECT IDTAREA, DESCRIPCION, HORASESTIMADAS, VALORHORA, EXENTO, TASAIVA, DESCRIPCIONADICIONAL FROM TA_TAREAS WHERE trim(IDTAREA) <> '' ORDER BY IDTAREA")
    .map(([id, descripcion, horas, valor, exento, tasa, adicional]) => ({
      id: String(id),
      descripcion: texto(descripcion),
      horas: Math.max(0, numero(horas) ?? 0),
      valorHora: Math.max(0, numero(valor) ?? 0),
      iva: Number(exento) !== 0 ? 0 : Math.max(0, numero(tasa) ?? 0),
      adicional,
    }));
}
