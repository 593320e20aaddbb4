// A client of Firefox's remote debugging protocol, as much of it as the tests need to run
// code in an add-on's background page (WebDriver BiDi offers no such context): packets are
// "LENGTH:JSON", requests go to an actor, the answer comes from it.
import net from 'node:net';

export async function freePort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const {port} = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

export class Rdp {
  static async connect(port) {
    const socket = net.connect(port, '127.0.0.1');
    await new Promise((resolve, reject) => {
      socket.once('connect', resolve);
      socket.once('error', reject);
    });
    const rdp = new Rdp(socket);
    await rdp.next((p) => p.from === 'root');
    return rdp;
  }

  constructor(socket) {
    this.socket = socket;
    this.buffer = Buffer.alloc(0);
    this.packets = [];
    this.waiters = [];
    socket.on('data', (data) => this.#receive(data));
    socket.on('close', () => this.#wake());
  }

  #receive(data) {
    this.buffer = Buffer.concat([this.buffer, data]);
    for (;;) {
      const colon = this.buffer.indexOf(':');
      if (colon < 0) {
        break;
      }
      const length = Number(this.buffer.subarray(0, colon).toString());
      if (this.buffer.length < colon + 1 + length) {
        break;
      }
      this.packets.push(JSON.parse(this.buffer.subarray(colon + 1, colon + 1 + length).toString()));
      this.buffer = this.buffer.subarray(colon + 1 + length);
    }
    this.#wake();
  }

  #wake() {
    this.waiters.splice(0).forEach((wake) => wake());
  }

  async next(matches) {
    for (;;) {
      const at = this.packets.findIndex(matches);
      if (at >= 0) {
        return this.packets.splice(at, 1)[0];
      }
      if (this.socket.destroyed) {
        throw new Error('the debugger connection closed');
      }
      await new Promise((resolve) => this.waiters.push(resolve));
    }
  }

  send(packet) {
    const body = Buffer.from(JSON.stringify(packet));
    this.socket.write(`${body.length}:`);
    this.socket.write(body);
  }

  async request(packet) {
    this.send(packet);
    const answer = await this.next((p) => p.from === packet.to && !p.type);
    if (answer.error) {
      throw new Error(`${packet.type}: ${answer.error} ${answer.message ?? ''}`);
    }
    return answer;
  }

  // The add-on as about:debugging lists it, with the warnings its manifest gave.
  async addon(addonId) {
    const {addons} = await this.request({to: 'root', type: 'listAddons'});
    const addon = addons.find((a) => a.id === addonId);
    if (!addon) {
      throw new Error(`add-on ${addonId} is not installed`);
    }
    return addon;
  }

  // The console actor of the add-on's background page.
  async backgroundOf(addonId) {
    const addon = await this.addon(addonId);
    const watcher = await this.request({to: addon.actor, type: 'getWatcher'});
    this.send({to: watcher.actor, type: 'watchTargets', targetType: 'frame'});
    const form = await this.next((p) => p.type === 'target-available-form' &&
                                        p.target.url.startsWith('moz-extension://'));
    return form.target.consoleActor;
  }

  // Runs fn(arg) there and answers what its promise gives, through JSON. The console does
  // not wait for promises, so the outcome is parked in a global and read back.
  async call(consoleActor, fn, arg) {
    const evaluate = async (text) => {
      const {resultID} = await this.request({to: consoleActor, type: 'evaluateJSAsync', text});
      const done = await this.next((p) => p.type === 'evaluationResult' && p.resultID === resultID);
      if (done.hasException) {
        throw new Error(`in the add-on: ${JSON.stringify(done.exceptionMessage)}`);
      }
      return done.result;
    };
    await evaluate(`globalThis.outcome = undefined;
        Promise.resolve((${fn})(${JSON.stringify(arg)})).then(
            (value) => { globalThis.outcome = JSON.stringify({value}); },
            (error) => { globalThis.outcome = JSON.stringify({error: String(error)}); });`);
    for (;;) {
      const result = await evaluate('globalThis.outcome');
      if (typeof result === 'string') {
        const {value, error} = JSON.parse(result);
        if (error !== undefined) {
          throw new Error(`in the add-on: ${error}`);
        }
        return value;
      }
      if (result && result.type === 'longString') {
        throw new Error('the add-on answered more than the test reads');
      }
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }

  close() {
    this.socket.destroy();
  }
}
