// The extension "Проверить IP" in Debian's Chromium, headless, driven through the DevTools
// protocol: the real browser starts the real `netsorter --native-host` that
// `netsorter --install-native-host` registered for a throw-away user.
//   scripts/hermetic env NETSORTER_BIN=build/native/bin node tests/browser/chromium.test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import puppeteer from 'puppeteer-core';

import {ARTIFACTS, checkClicks, checkHostGone, checkMenu, DEADLINE_MS, EXTENSION, poll,
        requireHermetic, User} from './common.mjs';

requireHermetic();
const user = new User();
let browser;
let worker;
let extensionId;
const inExtension = (fn, arg) => worker.evaluate(fn, arg);

before(async () => {
  user.netsorter('--install-native-host');
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    pipe: true,
    enableExtensions: true,
    userDataDir: path.join(user.home, '.config/chromium'),
    env: user.env,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           `--disable-extensions-except=${EXTENSION}`, `--load-extension=${EXTENSION}`],
  });
  const target = await browser.waitForTarget(
      (t) => t.type() === 'service_worker' && t.url().startsWith('chrome-extension://'),
      {timeout: DEADLINE_MS});
  extensionId = new URL(target.url()).host;
  worker = await target.worker();
});

after(async () => {
  await browser?.close();
  user.remove();
});

test('the host manifests name the wrapper and the extension that was loaded', () => {
  const chromium = JSON.parse(fs.readFileSync(user.manifests.chromium, 'utf8'));
  assert.deepEqual(chromium, {
    name: 'netsorter',
    description: chromium.description,
    path: user.wrapper,
    type: 'stdio',
    allowed_origins: [`chrome-extension://${extensionId}/`],
  });
  assert.deepEqual(JSON.parse(fs.readFileSync(user.manifests.chrome, 'utf8')), chromium);
  assert.ok(fs.statSync(user.wrapper).mode & 0o100, 'the wrapper is executable');
});

test('"Проверить IP" is in the menu of links and images', () => checkMenu(inExtension));

test('a click sends the address to the host and shows its four results',
     () => checkClicks(inExtension, user));

test('with the host gone, a click says so', () => checkHostGone(inExtension, user));

test('screenshot of the extension in chrome://extensions', async () => {
  const page = await browser.newPage();
  await page.setViewport({width: 960, height: 400});
  await page.goto('chrome://extensions');
  await page.evaluate(() => {
    const manager = document.querySelector('extensions-manager');
    manager.shadowRoot.querySelector('extensions-toolbar').shadowRoot.querySelector('#devMode')
        .click();
  });
  await poll(() => page.evaluate((id) => {
    const manager = document.querySelector('extensions-manager');
    const item = manager.shadowRoot.querySelector('extensions-item-list')
                     .shadowRoot.querySelector(`extensions-item#${id}`);
    const toolbar = manager.shadowRoot.querySelector('extensions-toolbar').shadowRoot;
    const loadUnpacked = toolbar.querySelector('#loadUnpacked');
    return item && item.shadowRoot.querySelector('#extension-id')?.textContent.includes(id) &&
           loadUnpacked?.getBoundingClientRect().height > 0 &&
           toolbar.querySelector('#devDrawer')?.getAnimations().length === 0;
  }, extensionId), 'the extension card with its id, and "Load unpacked"');
  fs.mkdirSync(ARTIFACTS, {recursive: true});
  await page.screenshot({path: path.join(ARTIFACTS, 'chromium-extensions.png')});
});
