// The extension "Проверить IP" in Debian's Chromium, headless, driven through the DevTools
// protocol: the real browser starts the real `netsorter --native-host` that
// `netsorter --install-native-host` registered for a throw-away user.
//   NETSORTER_BIN=build/native/bin node tests/browser/chromium.test.mjs
// Run inside scripts/hermetic (ctest does): the checks resolve names.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';

import puppeteer from 'puppeteer-core';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const EXTENSION = path.resolve(HERE, '../../browser/extension');
const BIN = path.resolve(process.env.NETSORTER_BIN ?? path.join(HERE, '../../build/native/bin'));
const NETSORTER = path.join(BIN, 'netsorter');
const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';
const ARTIFACTS = process.env.NETSORTER_ARTIFACTS ?? path.join(BIN, '..', 'artifacts');
const DEADLINE_MS = 60000;

// The same guard as the command-line tests: a name that only the tests' hosts file knows.
if (!/^127\.0\.0\.9\s+hermetic\.test\b/m.test(fs.readFileSync('/etc/hosts', 'utf8'))) {
  console.log('skipped: names may resolve outside the machine here; run inside scripts/hermetic');
  process.exit(77);
}

const home = fs.mkdtempSync(path.join(os.tmpdir(), 'netsorter-browser-'));
const env = {...process.env, HOME: home};
delete env.XDG_CONFIG_HOME;
delete env.XDG_DATA_HOME;
const manifests = {
  chromium: path.join(home, '.config/chromium/NativeMessagingHosts/netsorter.json'),
  chrome: path.join(home, '.config/google-chrome/NativeMessagingHosts/netsorter.json'),
  firefox: path.join(home, '.mozilla/native-messaging-hosts/netsorter.json'),
};
const wrapper = path.join(home, '.local/share/netsorter/native-host');

function netsorter(...args) {
  return execFileSync(NETSORTER, args, {env, encoding: 'utf8'});
}

async function poll(probe, what) {
  const end = Date.now() + DEADLINE_MS;
  let last;
  while (Date.now() < end) {
    try {
      last = await probe();
      if (last) {
        return last;
      }
    } catch (error) {
      last = error;
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.fail(`timed out waiting for ${what} (last: ${last})`);
}

let browser;
let worker;
let extensionId;

before(async () => {
  netsorter('--install-native-host');
  browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    pipe: true,
    enableExtensions: true,
    userDataDir: path.join(home, '.config/chromium'),
    env,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           `--disable-extensions-except=${EXTENSION}`, `--load-extension=${EXTENSION}`],
  });
  const target = await browser.waitForTarget(
      (t) => t.type() === 'service_worker' && t.url().startsWith('chrome-extension://'),
      {timeout: DEADLINE_MS});
  extensionId = new URL(target.url()).host;
  worker = await target.worker();
  // Each notification the extension asks for is recorded on its way to the real API,
  // whose own records hold only ids.
  await worker.evaluate(() => {
    const create = api.notifications.create.bind(api.notifications);
    globalThis.shown = [];
    api.notifications.create = async (options) => {
      const id = await create(options);
      shown.push({id, ...options});
      return id;
    };
  });
});

after(async () => {
  await browser?.close();
  fs.rmSync(home, {recursive: true, force: true});
});

test('the host manifests name the wrapper and the extension that was loaded', () => {
  const chromium = JSON.parse(fs.readFileSync(manifests.chromium, 'utf8'));
  assert.deepEqual(chromium, {
    name: 'netsorter',
    description: chromium.description,
    path: wrapper,
    type: 'stdio',
    allowed_origins: [`chrome-extension://${extensionId}/`],
  });
  assert.deepEqual(JSON.parse(fs.readFileSync(manifests.chrome, 'utf8')), chromium);
  const extension = JSON.parse(fs.readFileSync(path.join(EXTENSION, 'manifest.json'), 'utf8'));
  const {allowed_origins: _, ...common} = chromium;
  assert.deepEqual(JSON.parse(fs.readFileSync(manifests.firefox, 'utf8')), {
    ...common,
    allowed_extensions: [extension.browser_specific_settings.gecko.id],
  });
  assert.ok(fs.statSync(wrapper).mode & 0o100, 'the wrapper is executable');
});

test('"Проверить IP" is in the menu of links and images', async () => {
  // What the extension's start-up creates, as the browser took it: update() fails for an
  // item that does not exist.
  const created = await poll(() => worker.evaluate(async () => {
    const calls = [];
    const create = api.contextMenus.create.bind(api.contextMenus);
    api.contextMenus.create = (properties, done) => {
      calls.push(properties);
      return create(properties, done);
    };
    try {
      await createMenu();
    } finally {
      api.contextMenus.create = create;
    }
    await api.contextMenus.update('check-ip', {});
    return calls;
  }), 'the menu item');
  assert.deepEqual(created, [{id: 'check-ip', title: 'Проверить IP', contexts: ['link', 'image']}]);
});

// What the command-line tool says of the address the notification is about.
function fourResults(address) {
  const r = JSON.parse(netsorter('--no-reverse', '--format', 'json', address));
  return `Доменное имя: ${r.domain}\nIP-адрес: ${r.ip}\nТип трафика: ${r.traffic}\nСтрана: ${r.country}`;
}

async function click(info) {
  return worker.evaluate(async (info) => {
    const before = shown.length;
    await onMenuClick({menuItemId: 'check-ip', editable: false, pageUrl: 'http://one.test/', ...info});
    const open = await api.notifications.getAll();
    return shown.slice(before).map((n) => ({...n, open: n.id in open}));
  }, info);
}

test('a click sends the address to the host and shows its four results', async () => {
  const rows = [
    {name: 'a link', info: {linkUrl: 'http://10.1.2.3/x'}, address: 'http://10.1.2.3/x'},
    {name: 'an image inside a link',
     info: {mediaType: 'image', srcUrl: 'http://one.test/pic.png', linkUrl: 'http://multi.test/a'},
     address: 'http://multi.test/a'},
    {name: 'an image', info: {mediaType: 'image', srcUrl: 'http://one.test/pic.png'},
     address: 'http://one.test/pic.png'},
  ];
  assert.match(fourResults('http://10.1.2.3/x'), /IP-адрес: 10\.1\.2\.3\nТип трафика: Частные сети/);
  for (const row of rows) {
    const shown = await click(row.info);
    assert.equal(shown.length, 1, row.name);
    assert.equal(shown[0].open, true, `${row.name}: the notification is up`);
    assert.equal(shown[0].title, 'Проверить IP', row.name);
    assert.equal(shown[0].message, fourResults(row.address), row.name);
    assert.equal(shown[0].contextMessage, row.address, row.name);
  }
});

test('with the host gone, a click says so', async () => {
  netsorter('--uninstall-native-host');
  for (const file of [...Object.values(manifests), wrapper]) {
    assert.equal(fs.existsSync(file), false, `${file} is removed`);
  }
  const shown = await click({linkUrl: 'http://10.1.2.3/x'});
  assert.equal(shown.length, 1);
  assert.equal(shown[0].open, true);
  assert.match(shown[0].message, /^Программа Netsorter не ответила: .*not found/);
  netsorter('--install-native-host');
});

test('screenshot of the extension in chrome://extensions', async () => {
  const page = await browser.newPage();
  await page.setViewport({width: 900, height: 420});
  await page.goto('chrome://extensions');
  await page.evaluate(() => {
    const manager = document.querySelector('extensions-manager');
    manager.shadowRoot.querySelector('extensions-toolbar').shadowRoot.querySelector('#devMode').click();
  });
  await poll(() => page.evaluate((id) => {
    const manager = document.querySelector('extensions-manager');
    const item = manager.shadowRoot.querySelector('extensions-item-list').shadowRoot
        .querySelector(`extensions-item#${id}`);
    return item && item.shadowRoot.querySelector('#extension-id')?.textContent.includes(id);
  }, extensionId), 'the extension card with its id');
  fs.mkdirSync(ARTIFACTS, {recursive: true});
  await page.screenshot({path: path.join(ARTIFACTS, 'chromium-extensions.png')});
});
