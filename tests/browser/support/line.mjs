// The line between the phone and the cradle: forwards every request to kvcradle, counts the
// bytes it gives the browser, and can cut the connection after the cradle has answered a sync and
// before the phone has read it.
import http from 'node:http';

export function startLine({ upstream }) {
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
    // cutNext: the path (or a pattern of paths) of the next POST whose answer is lost.
    const cut = req.method === 'POST' && line.cutNext !== null &&
      (line.cutNext instanceof RegExp ? line.cutNext.test(pathname) : line.cutNext === pathname);
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
