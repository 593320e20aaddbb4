// "Проверить IP" in the context menu of links and images: the address goes to the native
// host "netsorter", and what it answers comes up as a notification. Firefox runs this file
// as a background script, Chromium-based browsers as a service worker.
'use strict';

const api = globalThis.browser ?? globalThis.chrome;

const HOST = 'netsorter';
const MENU_ID = 'check-ip';
const TITLE = 'Проверить IP';
const ICON = 'icons/netsorter-128.png';

// Menus outlive the background in Chromium but not always in Firefox: make them anew
// whenever the extension or the browser starts. Both events may come at once, so each
// making waits for the one before; interleaved, the second would find the item there.
let menuMade = Promise.resolve();

function createMenu() {
  menuMade = menuMade.catch(() => {}).then(async () => {
    await api.contextMenus.removeAll();
    await new Promise((resolve) => {
      api.contextMenus.create({id: MENU_ID, title: TITLE, contexts: ['link', 'image']}, () => {
        const error = api.runtime.lastError;
        resolve(error && notify(`Не удалось добавить пункт меню: ${error.message}`));
      });
    });
  });
  return menuMade;
}

// As the Internet Explorer entry does: a linked image stands for its link.
function addressOf(info) {
  return info.linkUrl || info.srcUrl || '';
}

function notify(message, contextMessage) {
  return api.notifications.create({
    type: 'basic',
    iconUrl: api.runtime.getURL(ICON),
    title: TITLE,
    message,
    ...(contextMessage ? {contextMessage} : {}),
  });
}

// The Windows host answers {"ok": true} and the program shows the result itself; the
// command-line host answers the four results.
function describe(answer) {
  if (answer && typeof answer.error === 'string') {
    return `Ошибка: ${answer.error}`;
  }
  if (answer && answer.ok === true) {
    return null;
  }
  const keys = ['domain', 'ip', 'traffic', 'country'];
  if (answer && keys.every((key) => typeof answer[key] === 'string')) {
    return [
      `Доменное имя: ${answer.domain}`,
      `IP-адрес: ${answer.ip}`,
      `Тип трафика: ${answer.traffic}`,
      `Страна: ${answer.country}`,
    ].join('\n');
  }
  return `Непонятный ответ программы Netsorter: ${JSON.stringify(answer)}`;
}

async function onMenuClick(info) {
  if (info.menuItemId !== MENU_ID) {
    return;
  }
  const address = addressOf(info);
  let answer;
  try {
    answer = await api.runtime.sendNativeMessage(HOST, {address});
  } catch (error) {
    // Most often the host is not registered yet.
    await notify(`Программа Netsorter не ответила: ${error.message}\n` +
                 'Windows: «Настройки» → «Добавить пункт в меню браузеров»; ' +
                 'Linux: netsorter --install-native-host', address);
    return;
  }
  const message = describe(answer);
  if (message !== null) {
    await notify(message, address);
  }
}

api.runtime.onInstalled.addListener(createMenu);
api.runtime.onStartup.addListener(createMenu);
api.contextMenus.onClicked.addListener(onMenuClick);
