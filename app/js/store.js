// What the phone keeps across reloads and restarts, in IndexedDB: the handheld file (the SQLite
// database the sync sends), the file a sync brought while it waits for its confirmation, the
// pairing and the last sync's result. Each write is one IndexedDB transaction, so the handheld
// file is always one whole file, the one before or the one after.

const NOMBRE = 'kvmovil';
const ALMACEN = 'datos';

let abierta = null;

function abrir() {
  if (!abierta) {
    abierta = new Promise((resolve, reject) => {
      const pedido = indexedDB.open(NOMBRE, 1);
      pedido.onupgradeneeded = () => pedido.result.createObjectStore(ALMACEN);
      pedido.onsuccess = () => resolve(pedido.result);
      pedido.onerror = () => reject(pedido.error);
    });
  }
  return abierta;
}

async function transaccion(modo, trabajo) {
  const db = await abrir();
  return new Promise((resolve, reject) => {
    const t = db.transaction(ALMACEN, modo);
    const almacen = t.objectStore(ALMACEN);
    let resultado;
    Promise.resolve(trabajo(almacen)).then((r) => { resultado = r; });
    t.oncomplete = () => resolve(resultado);
    t.onerror = () => reject(t.error);
    t.onabort = () => reject(t.error || new Error('IndexedDB: transacción cancelada'));
  });
}

function leer(almacen, clave) {
  return new Promise((resolve, reject) => {
    const p = almacen.get(clave);
    p.onsuccess = () => resolve(p.result);
    p.onerror = () => reject(p.error);
  });
}

export function obtener(clave) {
  return transaccion('readonly', (a) => leer(a, clave));
}

// Puts every pair of `valores` and deletes the keys whose value is undefined, all or none.
export function guardar(valores) {
  return transaccion('readwrite', (a) => {
    for (const [clave, valor] of Object.entries(valores)) {
      if (valor === undefined) a.delete(clave);
      else a.put(valor, clave);
    }
  });
}

// Keys used: the handheld file and the one awaiting a sync's confirmation.
export const ARCHIVO = 'archivo';
export const PROVISIONAL = 'provisional';
export const VINCULO = 'vinculo';
export const ULTIMA = 'ultima';
