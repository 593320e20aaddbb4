// The extension "Проверить IP" in Debian's Chromium, headless, driven through the DevTools
// protocol: the real browser starts the real `netsorter --native-host` that
// `netsorter --install-native-host` registered for a throw-away user.
//   scripts/hermetic env NETSORTER_BIN=build/native/bin node tests/browser/chromium.test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import puppeteer from 'puppeteer-core';

import {ARTIFACTS, checkClicks, checkErrors, checkMenu, DEADLINE_MS, extensionFor, poll,
        requireHermetic, User} from './common.mjs';

requireHermetic();
const EXTENSION = extensionFor('chromium').dir;
const user = new User();
let browser;
let extensionsPage;
let worker;
let extensionId;
const inExtension = (fn, arg) => worker.evaluate(fn, arg);
const extensionInfo = () =>
  extensionsPage.evaluate((id) => chrome.developerPrivate.getExtensionInfo(id), extensionId);

const isWorker = (t) => t.type() === 'service_worker' && t.url().startsWith('chrome-extension://');

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
  const first = await browser.waitForTarget(isWorker, {timeout: DEADLINE_MS});
  extensionId = new URL(first.url()).host;
  // chrome://extensions records the manifest's errors and warnings, and the ones the
  // extension raises, only while developer mode and the extension's error collection are on,
  // and the manifest's only as it loads: so the extension is loaded again under them.
  extensionsPage = await browser.newPage();
  await extensionsPage.goto('chrome://extensions');
  await extensionsPage.evaluate(async (id) => {
    await chrome.developerPrivate.updateProfileConfiguration({inDeveloperMode: true});
    await chrome.developerPrivate.updateExtensionConfiguration({extensionId: id,
                                                                errorCollection: true});
    await chrome.developerPrivate.reload(id, {failQuietly: false});
  }, extensionId);
  assert.equal((await extensionInfo()).errorCollection.isActive, true);
  const target = await browser.waitForTarget((t) => isWorker(t) && t !== first,
                                             {timeout: DEADLINE_MS});
  worker = await target.worker();
});

after(async () => {
  await browser?.close();
  user.remove();
});

test('the host manifest names the wrapper and the extension that was loaded', () => {
  const chromium = JSON.parse(fs.readFileSync(user.manifests.chromium, 'utf8'));
  assert.deepEqual(chromium, {
    name: 'netsorter',
    description: chromium.description,
    path: user.wrapper,
    type: 'stdio',
    allowed_origins: [`chrome-extension://${extensionId}/`],
  });
  assert.ok(fs.statSync(user.wrapper).mode & 0o100, 'the wrapper is executable');
});

test('"Проверить IP" is in the menu of links, images and selected text',
     () => checkMenu(inExtension));

test('a click sends the address to the host and shows it with its four results',
     () => checkClicks(inExtension, user));

test('what keeps the host from answering is told in Russian', () => checkErrors(inExtension, user));

test('the extension loaded and ran without errors or warnings', async () => {
  const info = await extensionInfo();
  assert.deepEqual(
      {installWarnings: info.installWarnings, manifestErrors: info.manifestErrors,
       runtimeErrors: info.runtimeErrors},
      {installWarnings: [], manifestErrors: [], runtimeErrors: []});
});

test('screenshot of the extension in chrome://extensions', async () => {
  await extensionsPage.setViewport({width: 960, height: 400});
  await extensionsPage.reload();
  await poll(() => extensionsPage.evaluate((id) => {
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
  await extensionsPage.screenshot({path: path.join(ARTIFACTS, 'chromium-extensions.png')});
});
