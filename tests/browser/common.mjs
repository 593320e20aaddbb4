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
export const BIN =
    path.resolve(process.env.NETSORTER_BIN ?? path.join(HERE, '../../build/native/bin'));
export const ARTIFACTS = process.env.NETSORTER_ARTIFACTS ?? path.join(BIN, '..', 'artifacts');
export const DEADLINE_MS = 60000;

// The folder the build made for one browser family ('chromium' or 'firefox').
export function extensionFor(family) {
  const dir = path.join(process.env.NETSORTER_EXTENSION ?? path.join(BIN, '..', 'extension'),
                        family);
  return {dir, manifest: JSON.parse(fs.readFileSync(path.join(dir, 'manifest.json'), 'utf8'))};
}

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
  for (const {id} of calls) {
    await api.contextMenus.update(id, {});
  }
  return calls;
}

// Inside the extension: one pick of a menu item, and the notifications it brought up.
async function click(info) {
  const before = shown.length;
  await onMenuClick({editable: false, pageUrl: 'http://one.test/', ...info});
  const open = await api.notifications.getAll();
  return shown.slice(before).map((n) => ({...n, open: n.id in open}));
}

export async function checkMenu(inExtension) {
  const calls = await poll(() => inExtension(createdMenu), 'the menu items');
  // The browser's start-up events may make the menu again meanwhile, always the same way.
  const created = [...new Set(calls.map((call) => JSON.stringify(call)))].sort().map(
      (c) => JSON.parse(c));
  assert.deepEqual(created, [
    {id: 'check-ip', title: 'Проверить IP', contexts: ['link', 'image']},
    {id: 'check-ip-selection', title: 'Проверить IP «%s»', contexts: ['selection']},
  ]);
}

// What the command-line tool says of the address the notification is about.
function results(user, address) {
  const r = JSON.parse(user.netsorter('--no-reverse', '--format', 'json', address));
  const owner = r.as_number === null ? '' : `\nВладелец сети: AS${r.as_number} ${r.as_org}`;
  return `Доменное имя: ${r.domain}\nIP-адрес: ${r.ip}\nТип трафика: ${r.traffic}\n` +
         `Страна: ${r.country}${owner}`;
}

// One notification, up, titled "Проверить IP", whose message is the address and then text.
async function checkNotification(inExtension, name, info, address, text) {
  const shown = await inExtension(click, info);
  assert.equal(shown.length, 1, name);
  assert.equal(shown[0].open, true, `${name}: the notification is up`);
  assert.equal(shown[0].title, 'Проверить IP', name);
  assert.equal(shown[0].message, `Адрес: ${address}\n${text}`, name);
}

export async function checkClicks(inExtension, user) {
  await inExtension(recordNotifications);
  const link = 'check-ip';
  const selection = 'check-ip-selection';
  const inLink = {linkUrl: 'http://10.1.2.3/x', selectionText: 'multi.test'};
  const rows = [
    {name: 'a link', info: {menuItemId: link, linkUrl: 'http://10.1.2.3/x'},
     address: 'http://10.1.2.3/x'},
    {name: 'an image inside a link',
     info: {menuItemId: link, mediaType: 'image', srcUrl: 'http://one.test/pic.png',
            linkUrl: 'http://multi.test/a'},
     address: 'http://multi.test/a'},
    {name: 'an image',
     info: {menuItemId: link, mediaType: 'image', srcUrl: 'http://one.test/pic.png'},
     address: 'http://one.test/pic.png'},
    {name: 'a selection inside a link, its link', info: {menuItemId: link, ...inLink},
     address: 'http://10.1.2.3/x'},
    {name: 'a selection inside a link, its text', info: {menuItemId: selection, ...inLink},
     address: 'multi.test'},
    {name: 'a link into a network with an owner',
     info: {menuItemId: link, linkUrl: 'http://8.8.8.8/'}, address: 'http://8.8.8.8/'},
  ];
  assert.match(results(user, 'http://10.1.2.3/x'),
               /IP-адрес: 10\.1\.2\.3\nТип трафика: Частные сети.*\nСтрана: [^\n]*$/);
  assert.match(results(user, 'http://8.8.8.8/'), /\nВладелец сети: AS15169 Google LLC$/);
  for (const row of rows) {
    await checkNotification(inExtension, row.name, row.info, row.address,
                            results(user, row.address));
  }
}

// What goes wrong on the way to the host is told in Russian, as the user can mend it.
export async function checkErrors(inExtension, user) {
  await inExtension(recordNotifications);
  const data = fs.mkdtempSync(path.join(user.home, 'data-'));
  fs.copyFileSync(path.join(BIN, 'nets.txt'), path.join(data, 'nets.txt'));
  const rows = [
    {name: 'the host not registered', setUp: () => user.netsorter('--uninstall-native-host'),
     text: 'Программа Netsorter не зарегистрирована для этого браузера.\n' +
           'Windows: «Настройки» → «Добавить пункт в меню браузеров»; ' +
           'Linux: netsorter --install-native-host'},
    {name: 'nets.txt gone from the host\'s data folder',
     setUp: () => {
       user.netsorter('--install-native-host', '--data-dir', data);
       fs.rmSync(path.join(data, 'nets.txt'));
     },
     text: 'Ошибка: программа Netsorter не смогла прочитать список подсетей ' +
           `(${data}/nets.txt: No such file or directory)`},
  ];
  try {
    for (const row of rows) {
      row.setUp();
      await checkNotification(inExtension, row.name,
                              {menuItemId: 'check-ip', linkUrl: 'http://10.1.2.3/x'},
                              'http://10.1.2.3/x', row.text);
    }
  } finally {
    user.netsorter('--install-native-host');
  }
}
