// A phone: Debian's Chromium, headless, driven by Playwright (playwright-core, which downloads
// no browser of its own), at 360 x 640 with a fresh profile, as the salesperson uses kvmovil.
import { chromium } from '../../../app/node_modules/playwright-core/index.mjs';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

export async function openPhone() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kvmovil-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.KV_CHROMIUM || '/usr/bin/chromium', headless: true, args: FLAGS,
    viewport: { width: 360, height: 640 }, deviceScaleFactor: 1, isMobile: true, hasTouch: true,
    locale: 'es-AR', timezoneId: 'America/Argentina/Buenos_Aires', serviceWorkers: 'allow',
  });
  context.setDefaultTimeout(30000);
  const page = context.pages()[0] || await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  return {
    context, page, errors,
    async ready() { await page.locator('body[data-listo="1"]').waitFor(); },
    async tab(name) { await page.locator('.pestanas').getByRole('button', { name: new RegExp('^' + name) }).click(); },
    async shot(name) {
      const dir = process.env.KV_SCREENSHOTS;
      if (!dir) return;
      fs.mkdirSync(dir, { recursive: true });
      await page.screenshot({ path: path.join(dir, name + '.png') });
    },
    // The handheld file as the phone keeps it (IndexedDB), for the test to read.
    async storedFile() {
      const bytes = await page.evaluate(() => new Promise((resolve, reject) => {
        const r = indexedDB.open('kvmovil');
        r.onsuccess = () => {
          const g = r.result.transaction('datos').objectStore('datos').get('archivo');
          g.onsuccess = () => resolve(Array.from(g.result || []));
          g.onerror = () => reject(g.error);
        };
        r.onerror = () => reject(r.error);
      }));
      return Uint8Array.from(bytes);
    },
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Runs the sync from the sync screen and returns the result shown ("ok" or "error").
export async function pressSync(phone) {
  await phone.tab('Sincronizar');
  await phone.page.locator('main').getByRole('button', { name: 'Sincronizar', exact: true }).click();
  const result = phone.page.locator('main [data-resultado]');
  await result.waitFor({ timeout: 90000 });
  return { kind: await result.getAttribute('data-resultado'), text: await result.innerText() };
}
