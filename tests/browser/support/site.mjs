// One demo site per test file: its programs (kvcradle with the ERP's launch string) and the line
// the phone reaches the cradle through, started before the file's tests and removed after them.
import { before, after } from 'node:test';
import { makeSite, startCradle } from './tools.mjs';
import { startLine } from './line.mjs';

export function siteForTests() {
  const s = { site: null, cradle: null, line: null };
  before(async () => {
    s.site = await makeSite();
    s.cradle = await startCradle(s.site);
    s.line = await startLine({ upstream: s.cradle.url });
  });
  after(async () => {
    await s.line?.close();
    await s.cradle?.stop();
    s.site?.remove();
  });
  return s;
}
