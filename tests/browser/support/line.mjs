// The line between the phone and the cradle: forwards every request to kvcradle, serves the
// application's files while kvcradle itself does not, counts the bytes it gives the browser, and
// can cut the connection after the cradle has answered a sync and before the phone reads it.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm', '.webmanifest': 'application/manifest+json', '.svg': 'image/svg+xml',
  '.png': 'image/png', '.db': 'application/vnd.sqlite3',
};

function serveFile(appDir, req, res) {
  const relative = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/app\/?/, '') || 'index.html';
  const file = path.resolve(appDir, relative);
  if (!file.startsWith(path.resolve(appDir) + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    res.writeHead(404).end();
    return;
  }
  const body = fs.readFileSync(file);
  res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Content-Length': body.length, 'Cache-Control': 'no-cache' });
  res.end(body);
}

export function startLine({ upstream, appDir }) {
  const target = new URL(upstream);
  const line = { bytesToBrowser: 0, requests: 0, cuts: [], cutNext: null };
  const server = http.createServer((req, res) => {
    const write = res.write.bind(res);
    const end = res.end.bind(res);
    const count = (chunk) => { if (chunk) line.bytesToBrowser += Buffer.byteLength(chunk); };
    res.write = (chunk, ...rest) => { count(chunk); return write(chunk, ...rest); };
    res.end = (chunk, ...rest) => { count(typeof chunk === 'function' ? null : chunk); return end(chunk, ...rest); };
    line.requests++;
    const pathname = new URL(req.url, 'http://x').pathname;
    if (appDir && (pathname === '/app' || pathname.startsWith('/app/'))) return serveFile(appDir, req, res);
    const cut = req.method === 'POST' && line.cutNext === pathname;
    if (cut) line.cutNext = null;
    const forward = http.request({ host: target.hostname, port: target.port, method: req.method, path: req.url, headers: req.headers }, (answer) => {
      if (!cut) {
        res.writeHead(answer.statusCode, answer.headers);
        answer.pipe(res);
        return;
      }
      // The cradle's whole answer is read; the phone gets its head and half its body, then the
      // connection drops (a connection dropped before any byte would be retried by the browser).
      const chunks = [];
      answer.on('data', (c) => chunks.push(c));
      answer.on('end', () => {
        const body = Buffer.concat(chunks);
        line.cuts.push({ path: pathname, status: answer.statusCode, headers: answer.headers, bytes: body.length });
        res.writeHead(answer.statusCode, answer.headers);
        res.write(body.subarray(0, body.length >> 1), () => setTimeout(() => req.socket.destroy(), 50));
      });
    });
    forward.on('error', () => req.socket.destroy());
    req.pipe(forward);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    line.url = `http://127.0.0.1:${server.address().port}`;
    line.close = () => new Promise((r) => { server.closeAllConnections(); server.close(r); });
    resolve(line);
  }));
}
