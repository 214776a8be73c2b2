// The handheld file in memory: SQLite compiled to WebAssembly (sql.js). The file holds the
// sixteen tables of the local sync store, the device's number (KV_DISPOSITIVO) and this
// application's own bookkeeping (KVMOVIL_DOCUMENTOS, and KVMOVIL_RECHAZOS: the office's reason
// for each document it refused), which the cradle keeps as extra tables.

export const TABLA_DISPOSITIVO = 'KV_DISPOSITIVO';
export const TABLA_PROPIA = 'KVMOVIL_DOCUMENTOS';
export const TABLA_RECHAZOS = 'KVMOVIL_RECHAZOS';
// A handheld file larger than the cradle's default limit is refused before it is opened.
export const TAMANO_MAXIMO = 64 * 1024 * 1024;

let SQL = null;

export async function iniciarSqlite() {
  if (!SQL) {
    // eslint-disable-next-line no-undef
    SQL = await initSqlJs({ locateFile: (f) => new URL('../vendor/' + f, import.meta.url).href });
  }
  return SQL;
}

export class ArchivoInvalido extends Error {}

const CABECERA = 'SQLite format 3\u0000';

function esSqlite(bytes) {
  if (!(bytes instanceof Uint8Array) || bytes.length < 100) return false;
  for (let i = 0; i < CABECERA.length; i++) if (bytes[i] !== CABECERA.charCodeAt(i)) return false;
  return true;
}

// The columns of each table, by table name in upper case.
function columnas(db) {
  const tablas = new Map();
  for (const [nombre] of filas(db, "SELECT name FROM sqlite_master WHERE type = 'table'")) {
    const cols = filas(db, 'SELECT name FROM pragma_table_info(?)', [nombre]).map((r) => String(r[0]).toUpperCase());
    tablas.set(String(nombre).toUpperCase(), new Set(cols));
  }
  return tablas;
}

export function filas(db, sql, parametros = []) {
  const st = db.prepare(sql);
  try {
    st.bind(parametros);
    const salida = [];
    while (st.step()) salida.push(st.get());
    return salida;
  } finally {
    st.free();
  }
}

export function valor(db, sql, parametros = []) {
  const r = filas(db, sql, parametros);
  return r.length ? r[0][0] : null;
}

export class Handheld {
  // `modelo`: the empty handheld the application ships, whose tables and columns every file must have.
  constructor(db, modelo) {
    this.db = db;
    this.modelo = modelo;
  }

  // Opens bytes that came from the network or from storage, refusing anything that is not a
  // sound handheld file: not SQLite, damaged, missing a table or column, or carrying triggers or
  // views (code that would run inside this application's own statements).
  static abrir(bytes, modelo) {
    if (bytes.length > TAMANO_MAXIMO) throw new ArchivoInvalido('El archivo supera el tamaño máximo.');
    if (!esSqlite(bytes)) throw new ArchivoInvalido('El archivo no es una base de datos SQLite.');
    let db;
    try {
      db = new SQL.Database(bytes);
      preparar(db);
      const control = valor(db, 'PRAGMA quick_check');
      if (control !== 'ok') throw new ArchivoInvalido('El archivo está dañado: ' + control);
    } catch (e) {
      if (db) db.close();
      if (e instanceof ArchivoInvalido) throw e;
      throw new ArchivoInvalido('El archivo no se puede leer: ' + e.message);
    }
    try {
      comprobar(db, modelo);
    } catch (e) {
      db.close();
      throw e;
    }
    return new Handheld(db, modelo);
  }

  exportar() {
    const bytes = this.db.export();
    preparar(this.db); // export() reopens the database with default settings
    return bytes;
  }

  cerrar() {
    this.db.close();
  }

  dispositivo() {
    const hay = valor(this.db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", [TABLA_DISPOSITIVO]);
    return hay ? Number(valor(this.db, `SELECT NUMERO FROM ${TABLA_DISPOSITIVO}`)) || 0 : 0;
  }

  // Records the device number in a handheld that carries none yet.
  fijarDispositivo(numero) {
    this.transaccion(() => {
      this.db.run(`CREATE TABLE IF NOT EXISTS ${TABLA_DISPOSITIVO} (NUMERO INTEGER NOT NULL CHECK (NUMERO > 0))`);
      this.db.run(`DELETE FROM ${TABLA_DISPOSITIVO}`);
      this.db.run(`INSERT INTO ${TABLA_DISPOSITIVO} (NUMERO) VALUES (?)`, [numero]);
    });
  }

  transaccion(trabajo) {
    this.db.run('BEGIN IMMEDIATE');
    try {
      const r = trabajo();
      this.db.run('COMMIT');
      return r;
    } catch (e) {
      this.db.run('ROLLBACK');
      throw e;
    }
  }
}

function preparar(db) {
  db.run('PRAGMA trusted_schema = OFF');
  db.run('PRAGMA journal_mode = DELETE');
  db.run(`CREATE TABLE IF NOT EXISTS ${TABLA_PROPIA} (
    TSNL TEXT PRIMARY KEY NOT NULL,
    ESTADO TEXT NOT NULL CHECK (ESTADO IN ('pendiente', 'enviado')),
    GUARDADO TEXT,
    ENVIADO TEXT)`);
  db.run(`CREATE TABLE IF NOT EXISTS ${TABLA_RECHAZOS} (
    TSNL TEXT PRIMARY KEY NOT NULL,
    MOTIVO TEXT NOT NULL,
    CUANDO TEXT NOT NULL)`);
}

function comprobar(db, modelo) {
  const activos = valor(db, "SELECT count(*) FROM sqlite_master WHERE type IN ('trigger', 'view')");
  if (activos > 0) throw new ArchivoInvalido('El archivo trae disparadores o vistas, que esta aplicación no acepta.');
  if (!modelo) return;
  const tiene = columnas(db);
  const faltan = [];
  for (const [tabla, cols] of columnas(modelo)) {
    const propias = tiene.get(tabla);
    if (!propias) { faltan.push(tabla); continue; }
    for (const c of cols) if (!propias.has(c)) faltan.push(tabla + '.' + c);
  }
  if (faltan.length) throw new ArchivoInvalido('Al archivo le faltan tablas o columnas: ' + faltan.join(', '));
}
