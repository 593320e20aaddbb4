// The extension "Проверить IP" in Debian's Firefox ESR, headless: installed as a temporary
// add-on over WebDriver BiDi (so unsigned), its background page reached through the remote
// debugging protocol, the real `netsorter --native-host` started by the real browser.
//   scripts/hermetic env NETSORTER_BIN=build/native/bin node tests/browser/firefox.test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {after, before, test} from 'node:test';

import puppeteer from 'puppeteer-core';

import {checkClicks, checkErrors, checkMenu, extensionFor, poll, requireHermetic,
        User} from './common.mjs';
import {freePort, Rdp} from './rdp.mjs';

requireHermetic();
const extension = extensionFor('firefox');
const user = new User();
let browser;
let rdp;
let background;
let addonId;
const inExtension = (fn, arg) => rdp.call(background, fn, arg);

before(async () => {
  user.netsorter('--install-native-host');
  const port = await freePort();
  browser = await puppeteer.launch({
    browser: 'firefox',
    protocol: 'webDriverBiDi',
    executablePath: process.env.FIREFOX ?? '/usr/bin/firefox-esr',
    headless: true,
    env: user.env,
    args: ['--start-debugger-server', String(port)],
    extraPrefsFirefox: {
      'devtools.debugger.remote-enabled': true,
      'devtools.chrome.enabled': true,
      'devtools.debugger.prompt-connection': false,
      // Without a desktop's notification service the system backend closes every
      // notification at once; Firefox's own alert windows stay up.
      'alerts.useSystemBackend': false,
      // The background page holds the test's records; a slow run must not see it suspended.
      'extensions.background.idle.timeout': 600000,
    },
  });
  const installed = await browser.connection.send(
      'webExtension.install', {extensionData: {type: 'path', path: extension.dir}});
  addonId = installed.result.extension;
  rdp = await poll(() => Rdp.connect(port), 'the debugger server');
  background = await rdp.backgroundOf(addonId);
});

after(async () => {
  rdp?.close();
  await browser?.close();
  user.remove();
});

// A manifest Firefox cannot read fails the install; what it reads but dislikes is a warning.
test('the add-on loaded without warnings', async () => {
  assert.deepEqual((await rdp.addon(addonId)).warnings, []);
});

test('the host manifest names the wrapper and the add-on that was loaded', () => {
  assert.equal(addonId, extension.manifest.browser_specific_settings.gecko.id);
  const {allowed_origins: _, ...common} =
      JSON.parse(fs.readFileSync(user.manifests.chromium, 'utf8'));
  assert.deepEqual(JSON.parse(fs.readFileSync(user.manifests.firefox, 'utf8')),
                   {...common, allowed_extensions: [addonId]});
});

test('"Проверить IP" is in the menu of links, images and selected text',
     () => checkMenu(inExtension));

test('a click sends the address to the host and shows it with its four results',
     () => checkClicks(inExtension, user));

test('what keeps the host from answering is told in Russian', () => checkErrors(inExtension, user));
