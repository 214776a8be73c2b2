// Reads the SQLite files of a test (the ERP, the store, the phone's handheld) with the same
// SQLite build the application uses.
import fs from 'node:fs';
import initSqlJs from '../../../app/node_modules/sql.js/dist/sql-wasm.js';

const SQL = await initSqlJs();

export function rows(source, sql, params = []) {
  const bytes = source instanceof Uint8Array ? source : fs.readFileSync(source);
  const db = new SQL.Database(bytes);
  try {
    const st = db.prepare(sql);
    st.bind(params);
    const out = [];
    while (st.step()) out.push(st.getAsObject());
    st.free();
    return out;
  } finally {
    db.close();
  }
}
