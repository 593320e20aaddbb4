// What the browser tests share: a throw-away user for whom `netsorter --install-native-host`
// registers the real host, and the cases that every browser must pass, run inside the
// extension's background through inExtension(fn, arg) (fn is sent as source text).
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const HERE = path.dirname(fileURLToPath(import.meta.url));
export const EXTENSION = path.resolve(HERE, '../../browser/extension');
export const BIN =
    path.resolve(process.env.NETSORTER_BIN ?? path.join(HERE, '../../build/native/bin'));
export const ARTIFACTS = process.env.NETSORTER_ARTIFACTS ?? path.join(BIN, '..', 'artifacts');
export const DEADLINE_MS = 60000;
export const extensionManifest =
    JSON.parse(fs.readFileSync(path.join(EXTENSION, 'manifest.json'), 'utf8'));

// The same guard as the command-line tests: a name that only the tests' hosts file knows.
export function requireHermetic() {
  if (!/^127\.0\.0\.9\s+hermetic\.test\b/m.test(fs.readFileSync('/etc/hosts', 'utf8'))) {
    console.log('skipped: names may resolve outside the machine here; run inside scripts/hermetic');
    process.exit(77);
  }
}

export class User {
  constructor() {
    this.home = fs.mkdtempSync(path.join(os.tmpdir(), 'netsorter-browser-'));
    this.env = {...process.env, HOME: this.home};
    delete this.env.XDG_CONFIG_HOME;
    delete this.env.XDG_DATA_HOME;
    this.manifests = {
      chromium: path.join(this.home, '.config/chromium/NativeMessagingHosts/netsorter.json'),
      chrome: path.join(this.home, '.config/google-chrome/NativeMessagingHosts/netsorter.json'),
      firefox: path.join(this.home, '.mozilla/native-messaging-hosts/netsorter.json'),
    };
    this.wrapper = path.join(this.home, '.local/share/netsorter/native-host');
  }

  netsorter(...args) {
    return execFileSync(path.join(BIN, 'netsorter'), args, {env: this.env, encoding: 'utf8'});
  }

  remove() {
    fs.rmSync(this.home, {recursive: true, force: true});
  }
}

export async function poll(probe, what) {
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

// Inside the extension: every notification it asks for is recorded on its way to the real
// API, whose own records hold only ids.
function recordNotifications() {
  if (globalThis.shown) {
    return;
  }
  const create = api.notifications.create.bind(api.notifications);
  globalThis.shown = [];
  api.notifications.create = async (options) => {
    const id = await create(options);
    shown.push({id, ...options});
    return id;
  };
}

// Inside the extension: what its start-up creates, as the browser took it (update() fails
// for an item that does not exist).
async function createdMenu() {
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
}

// Inside the extension: one pick of the menu item, and the notifications it brought up.
async function click(info) {
  const before = shown.length;
  await onMenuClick({menuItemId: 'check-ip', editable: false, pageUrl: 'http://one.test/', ...info});
  const open = await api.notifications.getAll();
  return shown.slice(before).map((n) => ({...n, open: n.id in open}));
}

export async function checkMenu(inExtension) {
  const calls = await poll(() => inExtension(createdMenu), 'the menu item');
  // The browser's start-up events may make the menu again meanwhile, always the same way.
  const created = [...new Set(calls.map((call) => JSON.stringify(call)))].map((c) => JSON.parse(c));
  assert.deepEqual(created, [{id: 'check-ip', title: 'Проверить IP', contexts: ['link', 'image']}]);
}

// What the command-line tool says of the address the notification is about.
function fourResults(user, address) {
  const r = JSON.parse(user.netsorter('--no-reverse', '--format', 'json', address));
  return `Доменное имя: ${r.domain}\nIP-адрес: ${r.ip}\nТип трафика: ${r.traffic}\nСтрана: ${r.country}`;
}

export async function checkClicks(inExtension, user) {
  await inExtension(recordNotifications);
  const rows = [
    {name: 'a link', info: {linkUrl: 'http://10.1.2.3/x'}, address: 'http://10.1.2.3/x'},
    {name: 'an image inside a link',
     info: {mediaType: 'image', srcUrl: 'http://one.test/pic.png', linkUrl: 'http://multi.test/a'},
     address: 'http://multi.test/a'},
    {name: 'an image', info: {mediaType: 'image', srcUrl: 'http://one.test/pic.png'},
     address: 'http://one.test/pic.png'},
  ];
  assert.match(fourResults(user, 'http://10.1.2.3/x'),
               /IP-адрес: 10\.1\.2\.3\nТип трафика: Частные сети/);
  for (const row of rows) {
    const shown = await inExtension(click, row.info);
    assert.equal(shown.length, 1, row.name);
    assert.equal(shown[0].open, true, `${row.name}: the notification is up`);
    assert.equal(shown[0].title, 'Проверить IP', row.name);
    assert.equal(shown[0].message, fourResults(user, row.address), row.name);
    assert.equal(shown[0].contextMessage, row.address, row.name);
  }
}

export async function checkHostGone(inExtension, user) {
  await inExtension(recordNotifications);
  user.netsorter('--uninstall-native-host');
  try {
    for (const file of [...Object.values(user.manifests), user.wrapper]) {
      assert.equal(fs.existsSync(file), false, `${file} is removed`);
    }
    const shown = await inExtension(click, {linkUrl: 'http://10.1.2.3/x'});
    assert.equal(shown.length, 1);
    assert.equal(shown[0].open, true);
    assert.match(shown[0].message, /^Программа Netsorter не ответила: /);
  } finally {
    user.netsorter('--install-native-host');
  }
}
