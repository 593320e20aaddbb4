// "Проверить IP" in the context menu of links, images and selected text: the address goes to
// the native host "netsorter", and what it answers comes up as a notification. Firefox runs
// this file as a background script, Chromium-based browsers as a service worker; the build
// gives each family its own manifest.
'use strict';

const api = globalThis.browser ?? globalThis.chrome;

const HOST = 'netsorter';
const TITLE = 'Проверить IP';
const ICON = 'icons/netsorter-128.png';

// Each item of the menu and the text it checks. As the Internet Explorer entry does, a linked
// image stands for its link. A selection inside a link offers both items, so the second
// names what it checks (the browser puts the selected text for %s).
const MENU = [
  {
    id: 'check-ip',
    title: TITLE,
    contexts: ['link', 'image'],
    address: (info) => info.linkUrl || info.srcUrl || '',
  },
  {
    id: 'check-ip-selection',
    title: `${TITLE} «%s»`,
    contexts: ['selection'],
    address: (info) => info.selectionText || '',
  },
];

// The host's error answers are {"error": CODE}, some with the system's own "reason".
const HOST_ERRORS = {
  'bad-request': 'программа Netsorter не поняла запрос',
  'too-long': 'адрес длиннее 1 МБ',
  'check-failed': 'проверка не удалась',
  'nets-unreadable': 'программа Netsorter не смогла прочитать список подсетей',
  'not-registered': 'Netsorter.exe не зарегистрирован; выберите в нём «Настройки» → ' +
                    '«Добавить пункт в меню браузеров»',
  'unreachable': 'не удалось связаться с Netsorter.exe',
  'refused': 'Netsorter.exe не принял адрес',
  'call-failed': 'не удалось передать адрес Netsorter.exe',
};

const REGISTER = 'Windows: «Настройки» → «Добавить пункт в меню браузеров»; ' +
                 'Linux: netsorter --install-native-host';

// What the browsers say when the host cannot be started or heard (Chromium's texts, then
// Firefox's), in the user's words; anything else is shown as the browser gives it.
const BROWSER_ERRORS = [
  [/native messaging host not found|No such native application/,
   `Программа Netsorter не зарегистрирована для этого браузера.\n${REGISTER}`],
  [/host is forbidden/,
   'Программа Netsorter не допускает это расширение: его id должен быть ' +
   `cgjhiobogbbclanjnanjhagkmlgliopj.\n${REGISTER}`],
  [/Failed to start native messaging host/,
   `Не удалось запустить программу Netsorter.\n${REGISTER}`],
  [/Native host has exited|Error when communicating with the native messaging host/,
   'Программа Netsorter завершилась, не ответив.'],
];

// Menus outlive the background in Chromium but not always in Firefox: make them anew
// whenever the extension or the browser starts. Both events may come at once, so each
// making waits for the one before; interleaved, the second would find the items there.
let menuMade = Promise.resolve();

function createMenu() {
  menuMade = menuMade.catch(() => {}).then(async () => {
    await api.contextMenus.removeAll();
    for (const {id, title, contexts} of MENU) {
      await new Promise((resolve) => {
        api.contextMenus.create({id, title, contexts}, () => {
          const error = api.runtime.lastError;
          resolve(error && notify(`Не удалось добавить пункт меню: ${error.message}`));
        });
      });
    }
  });
  return menuMade;
}

function notify(message) {
  return api.notifications.create({
    type: 'basic',
    iconUrl: api.runtime.getURL(ICON),
    title: TITLE,
    message,
  });
}

// The network's owner as the window shows it ("AS15169 Google LLC"), from the parts the
// command-line host answers (null where the database names none); empty when it has none.
function ownerOf(answer) {
  const parts = [];
  if (Number.isInteger(answer.as_number)) {
    parts.push(`AS${answer.as_number}`);
  }
  if (typeof answer.as_org === 'string' && answer.as_org !== '') {
    parts.push(answer.as_org);
  }
  return parts.join(' ');
}

// The Windows host answers {"ok": true} and the program shows the result itself; the
// command-line host answers the four results and the owner's parts.
function describe(answer) {
  if (answer && typeof answer.error === 'string') {
    const text = HOST_ERRORS[answer.error] ?? `программа Netsorter ответила «${answer.error}»`;
    const reason = typeof answer.reason === 'string' ? ` (${answer.reason})` : '';
    return `Ошибка: ${text}${reason}`;
  }
  if (answer && answer.ok === true) {
    return null;
  }
  const keys = ['domain', 'ip', 'traffic', 'country'];
  if (answer && keys.every((key) => typeof answer[key] === 'string')) {
    const lines = [
      `Доменное имя: ${answer.domain}`,
      `IP-адрес: ${answer.ip}`,
      `Тип трафика: ${answer.traffic}`,
      `Страна: ${answer.country}`,
    ];
    const owner = ownerOf(answer);
    if (owner !== '') {
      lines.push(`Владелец сети: ${owner}`);
    }
    return lines.join('\n');
  }
  return `Непонятный ответ программы Netsorter: ${JSON.stringify(answer)}`;
}

function unanswered(error) {
  const text = String(error?.message ?? error);
  const known = BROWSER_ERRORS.find(([pattern]) => pattern.test(text));
  return known ? known[1] : `Программа Netsorter не ответила (${text}).`;
}

async function onMenuClick(info) {
  const item = MENU.find((i) => i.id === info.menuItemId);
  if (!item) {
    return;
  }
  const address = item.address(info);
  let message;
  try {
    message = describe(await api.runtime.sendNativeMessage(HOST, {address}));
  } catch (error) {
    message = unanswered(error);
  }
  // Firefox shows no contextMessage, so the address is the message's first line.
  if (message !== null) {
    await notify(`Адрес: ${address}\n${message}`);
  }
}

api.runtime.onInstalled.addListener(createMenu);
api.runtime.onStartup.addListener(createMenu);
api.contextMenus.onClicked.addListener(onMenuClick);
