// The page capture in Debian's Chromium: the extension loaded unpacked, the real native
// host under Wine (through the wrapper named in the profile's NativeMessagingHosts
// folder), its dialogs worked by control id from capture_host_driver.exe, and the page
// sender run on the stored task against the same served page. Every case prints one
// line, "ok" or "FAIL", and the run ends with code 1 when any failed.
//
// Environment (run_browser_tests.sh sets it): QUILLON_WINE_RUN, QUILLON_PREFIX,
// QUILLON_DRIVER, QUILLON_HOST, QUILLON_EXTENSION, QUILLON_NPM, QUILLON_WORK.
import { spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const env = process.env;
const { default: puppeteer } = await import(
  path.join(env.QUILLON_NPM, 'node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js'));

const kHostName = 'com.kestrova.quillon';
const kPort = 8431;
const kTop = `http://127.0.0.1:${kPort}`;
const kOther = `http://127.0.0.2:${kPort}`; // another origin for the cross-site frame
const kPreview = 'Quillon: Extracted Text';
const kNotInPage = 'Quillon cannot find the selected text';
const kFrameUnreadable = 'comes from another site';
const kTooLong = 'The selected text is too long';

const manifest = JSON.parse(fs.readFileSync(path.join(env.QUILLON_EXTENSION, 'chromium/manifest.json'), 'utf8'));
const hostManifest = JSON.parse(
  fs.readFileSync(path.join(env.QUILLON_EXTENSION, `host/${kHostName}.chromium.json`), 'utf8'));
const extensionId = hostManifest.allowed_origins[0].replace(/^chrome-extension:\/\//, '').replace(/\/$/, '');

// ---- Windows side ----------------------------------------------------------------------

function run(program, args, { input = null, timeoutMs = 90000 } = {}) {
  return new Promise((resolve) => {
    const child = spawn(program, args, { stdio: ['pipe', 'pipe', 'pipe'] });
    child.stdin.on('error', () => {}); // a host that refuses its caller reads nothing
    const out = [];
    const err = [];
    child.stdout.on('data', (d) => out.push(d));
    child.stderr.on('data', (d) => err.push(d));
    const timer = setTimeout(() => child.kill('SIGKILL'), timeoutMs);
    child.on('close', (code) => {
      clearTimeout(timer);
      resolve({ code, stdout: Buffer.concat(out), stderr: Buffer.concat(err).toString() });
    });
    if (input !== null)
      child.stdin.end(input);
    else
      child.stdin.end();
  });
}

async function driver(...args) {
  const result = await run(env.QUILLON_WINE_RUN, ['--prefix', env.QUILLON_PREFIX, env.QUILLON_DRIVER, ...args]);
  return { code: result.code, lines: result.stdout.toString().split(/\r?\n/).filter((l) => l) };
}

function unescape(text) {
  return text.replace(/\\(.)/g, (_, c) => ({ t: '\t', n: '\n', r: '\r', '\\': '\\' })[c] ?? c);
}

async function storedTasks() {
  const { lines } = await driver('tasks');
  return lines.filter((l) => l.startsWith('TASK\t')).map((l) => {
    const [, key, ...fields] = l.split('\t');
    const task = { key: unescape(key) };
    for (const f of fields) {
      const eq = f.indexOf('=');
      task[f.slice(0, eq)] = unescape(f.slice(eq + 1));
    }
    return task;
  });
}

// Runs the page sender on a task: its exit code and the bodies it queued, in order.
async function send(key) {
  const { lines } = await driver('send', key);
  const exit = lines.find((l) => l.startsWith('EXIT '));
  const bodies = lines.filter((l) => l.startsWith('MAIL\t')).map((l) => {
    const body = l.split('\t').find((f) => f.startsWith('Body='));
    return unescape(body.slice(5));
  });
  return { exit: exit ? Number(exit.slice(5)) : null, text: collapse(bodies.join(' ')) };
}

function collapse(text) {
  return text.replace(/[\s\u00a0\x01]+/g, ' ').trim();
}

// ---- Pages -----------------------------------------------------------------------------

const pages = new Map();
function page(name, title, body, head = '') {
  pages.set(name, `<!DOCTYPE html>\n<html><head><title>${title}</title>${head}</head>\n<body>\n${body}\n</body></html>\n`);
}
const longWords = Array.from({ length: 400 }, (_, i) => `word${i}`).join(' ');
page('/para.html', 'Harbour', '<h1>Harbour report</h1>\n<p id="tide">High tide at 14:32,\n  low tide at 20:47.</p>\n<p id="wind">Wind south-west 4, later 5.</p>\n<p id="long">' + longWords + '</p>');
page('/table.html', 'Ferries', '<p>Timetable below.</p>\n<table>\n<tr><td>Ferry one</td><td id="b1">Departs nine fifteen</td></tr>\n<tr><td id="a2">Ferry two</td><td id="b2">Departs ten thirty</td></tr>\n</table>\n<p>Tickets at the quay.</p>');
page('/frames.html', 'Framed', '<p>Outer words only.</p>\n<iframe src="/inner.html" width="400" height="200"></iframe>\n<p>Outer closing words.</p>');
page('/inner.html', 'Inner', '<p>Inner first paragraph.</p>\n<p id="inner">Inner chosen paragraph words.</p>');
page('/cross.html', 'Crossed', '<p>Top page words here.</p>\n<iframe id="cross" src="' + kOther + '/foreign.html" width="400" height="200"></iframe>');
page('/foreign.html', 'Foreign', '<p id="foreign">Foreign site paragraph.</p>');
page('/scripted.html', 'Scripted', '<p>Static paragraph from the server.</p>\n<div id="slot"></div>',
  '<script>addEventListener("DOMContentLoaded", () => { const p = document.createElement("p"); p.id = "drawn"; p.textContent = "Drawn by the script after loading."; document.getElementById("slot").appendChild(p); });</script>');
page('/whole.html', 'Whole Page', '<p>The whole page first line.</p>\n<p>The whole page second line.</p>');
page('/news.html', 'News', '<p>Masthead text.</p>\n<p id="story">Morning edition story text.</p>\n<p>Footer text.</p>');

const server = http.createServer((request, response) => {
  const body = pages.get(new URL(request.url, kTop).pathname);
  if (body === undefined) {
    response.statusCode = 404;
    response.end('not found');
    return;
  }
  response.setHeader('Content-Type', 'text/html; charset=utf-8');
  response.end(body);
});
const otherServer = http.createServer(server.listeners('request')[0]);
await new Promise((r) => server.listen(kPort, '127.0.0.1', r));
await new Promise((r) => otherServer.listen(kPort, '127.0.0.2', r));

// ---- Browser ---------------------------------------------------------------------------

const profile = fs.mkdtempSync(path.join(env.QUILLON_WORK, 'profile-'));
const hostsDir = path.join(profile, 'NativeMessagingHosts');
fs.mkdirSync(hostsDir);
const hostFile = path.join(hostsDir, `${kHostName}.json`);
function installHost() {
  fs.writeFileSync(hostFile, JSON.stringify(Object.assign({}, hostManifest, { path: env.QUILLON_HOST })));
}
installHost();

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  pipe: true,
  enableExtensions: [path.join(env.QUILLON_EXTENSION, 'chromium')],
  userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});
const browserSession = await browser.target().createCDPSession();
const tab = await browser.newPage();
const workerTarget = await browser.waitForTarget(
  (t) => t.type() === 'service_worker' && t.url().startsWith(`chrome-extension://${extensionId}/`), { timeout: 30000 });
const worker = await workerTarget.worker();

async function open(name) {
  await tab.goto(kTop + name, { waitUntil: 'load' });
}

// Selects from (node, offset) to (node, offset) in a frame, nodes found by a selector
// and a text-node index (-1: the element itself).
async function select(frame, from, to) {
  await frame.evaluate((from, to) => {
    const point = ([selector, child, offset]) => {
      const element = document.querySelector(selector);
      return [child < 0 ? element : element.childNodes[child], offset];
    };
    const range = document.createRange();
    range.setStart(...point(from));
    range.setEnd(...point(to));
    getSelection().removeAllRanges();
    getSelection().addRange(range);
  }, from, to);
}

async function selectElement(frame, selector) {
  await frame.evaluate((selector) => {
    const range = document.createRange();
    range.selectNodeContents(document.querySelector(selector));
    getSelection().removeAllRanges();
    getSelection().addRange(range);
  }, selector);
}

async function selectedText(frame) {
  return frame.evaluate(() => getSelection().toString());
}

async function tabTargetId() {
  const { targetInfos } = await browserSession.send('Target.getTargets', { filter: [{ type: 'tab' }] });
  const url = tab.url();
  const found = targetInfos.find((t) => t.url === url);
  return found.targetId;
}

// Starts the extension's handler (the toolbar button through the DevTools command, which
// grants activeTab as a click does; or the context-menu handler with the frame clicked
// in) and waits for the reply it shows.
async function capture(door, steps) {
  await worker.evaluate(() => { globalThis.lastCaptureResult = undefined; });
  const driving = steps.length > 0 ? driver('drive', ...steps) : Promise.resolve({ code: 0, lines: [] });
  if (door === 'toolbar') {
    await browserSession.send('Extensions.triggerAction', { id: extensionId, targetId: await tabTargetId() });
  } else {
    worker.evaluate(async () => {
      const [active] = await chrome.tabs.query({ active: true, lastFocusedWindow: true });
      return globalThis.quillonCapture(active, 0);
    }).catch(() => {});
  }
  let reply;
  for (let waited = 0; waited < 90000 && reply === undefined; waited += 250) {
    reply = await worker.evaluate(() => globalThis.lastCaptureResult);
    if (reply === undefined)
      await new Promise((r) => setTimeout(r, 250));
  }
  const driven = await driving;
  const badge = await worker.evaluate(async () => {
    const [active] = await chrome.tabs.query({ active: true, lastFocusedWindow: true });
    return { text: await chrome.action.getBadgeText({ tabId: active.id }), title: await chrome.action.getTitle({ tabId: active.id }) };
  });
  return { reply, driven, badge };
}

// ---- Cases -----------------------------------------------------------------------------

let failures = 0;
function check(condition, what) {
  if (!condition)
    throw new Error(what);
}

async function runCase(name, body) {
  await driver('clear');
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (e) {
    ++failures;
    console.log(`FAIL ${name}: ${e.message}`);
  }
}

// One task stored for the page, holding the descriptor or not as expected; the sender's
// run on it sends `expected` (collapsed) and nothing else.
async function expectTask(address, { descriptor, expected, chop = '0' }) {
  const tasks = await storedTasks();
  check(tasks.length === 1, `expected one task, found ${JSON.stringify(tasks)}`);
  const task = tasks[0];
  check(task.CommandLine === task.key, `CommandLine ${task.CommandLine} is not the key ${task.key}`);
  check(task.AppName === 'quillon.exe', `AppName ${task.AppName}`);
  check(task.ChopMessage === chop, `ChopMessage ${task.ChopMessage}, expected ${chop}`);
  const quoted = `"${address}"`;
  if (descriptor)
    check(task.Selection.startsWith(quoted + ' (') && task.Selection.endsWith(')'), `Selection without descriptor: ${task.Selection}`);
  else
    check(task.Selection === quoted, `Selection ${task.Selection}, expected ${quoted}`);
  const sent = await send(task.key);
  check(sent.exit === -1, `page sender exit ${sent.exit}`);
  check(sent.text === collapse(expected), `sent "${sent.text}", expected "${collapse(expected)}"`);
  return task;
}

function expectReply(result, status) {
  check(result.driven.code === 0, `host dialogs: ${result.driven.lines.join(' / ')}`);
  check(result.reply !== undefined, 'the extension got no reply');
  check(result.reply.status === status, `reply ${JSON.stringify(result.reply)}, expected ${status}`);
}

// Pictures of the host's windows for the README, into QUILLON_WORK/screenshots.
const shots = path.join(env.QUILLON_WORK, 'screenshots');
fs.mkdirSync(shots, { recursive: true });
const shot = (name) => `shot=Z:${path.join(shots, name + '.bmp').replace(/\//g, '\\')}`;

const schedule = (caption) => [`dialog=${kPreview}`, 'close=1', `dialog=Send text from ${caption}`, 'close=1'];

await runCase('one paragraph, toolbar button', async () => {
  await open('/para.html');
  await selectElement(tab, '#tide');
  const result = await capture('toolbar', [`dialog=${kPreview}`, shot('browser-preview'), 'close=1',
    `dialog=Send text from 127.0.0.1:${kPort}/para.html`, shot('browser-task-editor'), 'close=1']);
  expectReply(result, 'scheduled');
  check(/^Scheduled: Send text from/.test(result.reply.message), `message ${result.reply.message}`);
  check(result.badge.text === 'OK' && result.badge.title === result.reply.message, `badge ${JSON.stringify(result.badge)}`);
  await expectTask(`${kTop}/para.html`, { descriptor: true, expected: 'High tide at 14:32, low tide at 20:47.' });
});

await runCase('part of a paragraph through the context-menu handler', async () => {
  // Same page, no navigation: the toolbar capture above granted activeTab, as a menu
  // click does.
  await select(tab, ['#wind', 0, 5], ['#wind', 0, 27]);
  const result = await capture('menu', schedule(`127.0.0.1:${kPort}/para.html`));
  expectReply(result, 'scheduled');
  await expectTask(`${kTop}/para.html`, { descriptor: true, expected: 'south-west 4, later 5.' });
});

await runCase('a long text: the divide answer is asked once and kept', async () => {
  await selectElement(tab, '#long');
  const first = await capture('menu', [`box=${kTooLong}`, 'close=6', `dialog=${kPreview}`, 'checked=1071', 'close=1',
    `dialog=Send text from 127.0.0.1:${kPort}/para.html`, 'close=1']);
  expectReply(first, 'scheduled');
  check(first.driven.lines.includes('CHECKED 1071 1'), `box 1071 after Yes: ${first.driven.lines}`);
  const tasks = await storedTasks();
  check(tasks.length === 1 && tasks[0].ChopMessage === '1', `task ${JSON.stringify(tasks)}`);
  // A new host process for the next capture: it remembers the answer and does not ask.
  const second = await capture('menu', [`dialog=${kPreview}`, 'checked=1071', 'close=2']);
  expectReply(second, 'cancelled');
  check(second.driven.lines.includes('CHECKED 1071 1'), `second capture: ${second.driven.lines}`);
});

await runCase('a selection across table cells', async () => {
  await open('/table.html');
  await select(tab, ['#b1', 0, 7], ['#b2', 0, 10]);
  const text = await selectedText(tab);
  const result = await capture('toolbar', schedule(`127.0.0.1:${kPort}/table.html`));
  expectReply(result, 'scheduled');
  await expectTask(`${kTop}/table.html`, { descriptor: true, expected: text });
});

await runCase('a selection inside a frame of the same site', async () => {
  await open('/frames.html');
  const inner = tab.frames().find((f) => f.url().endsWith('/inner.html'));
  check(inner, 'no inner frame');
  await selectElement(inner, '#inner');
  const result = await capture('toolbar', schedule(`127.0.0.1:${kPort}/frames.html`));
  expectReply(result, 'scheduled');
  await expectTask(`${kTop}/frames.html`, { descriptor: true, expected: 'Inner chosen paragraph words.' });
});

await runCase('a selection inside a frame from another site: the whole page is offered', async () => {
  await open('/cross.html');
  const foreign = tab.frames().find((f) => f.url().endsWith('/foreign.html'));
  check(foreign, 'no foreign frame');
  await selectElement(foreign, '#foreign');
  await tab.evaluate(() => document.getElementById('cross').focus());
  const result = await capture('toolbar', [`box=${kFrameUnreadable}`, shot('browser-other-site'), 'close=1', ...schedule(`127.0.0.1:${kPort}/cross.html`)]);
  expectReply(result, 'scheduled');
  await expectTask(`${kTop}/cross.html`, { descriptor: false, expected: 'Top page words here.' });
});

await runCase('nothing selected: the whole page', async () => {
  await open('/whole.html');
  const result = await capture('toolbar', schedule(`127.0.0.1:${kPort}/whole.html`));
  expectReply(result, 'scheduled');
  await expectTask(`${kTop}/whole.html`, { descriptor: false, expected: 'The whole page first line. The whole page second line.' });
});

await runCase('a part the page\'s script drew is refused, the whole page offered', async () => {
  await open('/scripted.html');
  await tab.waitForSelector('#drawn');
  await selectElement(tab, '#drawn');
  const result = await capture('toolbar', [`box=${kNotInPage}`, shot('browser-refused'), 'close=1', ...schedule(`127.0.0.1:${kPort}/scripted.html`)]);
  expectReply(result, 'scheduled');
  await expectTask(`${kTop}/scripted.html`, { descriptor: false, expected: 'Static paragraph from the server.' });
});

await runCase('the refusal\'s Cancel schedules nothing', async () => {
  await selectElement(tab, '#drawn');
  const result = await capture('menu', [`box=${kNotInPage}`, 'close=2']);
  expectReply(result, 'cancelled');
  check((await storedTasks()).length === 0, 'a task was stored');
});

await runCase('the same page later with new words: the task sends the new words', async () => {
  await open('/news.html');
  await selectElement(tab, '#story');
  const result = await capture('toolbar', schedule(`127.0.0.1:${kPort}/news.html`));
  expectReply(result, 'scheduled');
  pages.set('/news.html', pages.get('/news.html').replace('Morning edition story text.', 'Evening edition brand new words.'));
  await expectTask(`${kTop}/news.html`, { descriptor: true, expected: 'Evening edition brand new words.' });
});

await runCase('Cancel in the task editor: nothing stored, the extension told', async () => {
  await open('/whole.html');
  const result = await capture('toolbar', [`dialog=${kPreview}`, 'close=1', `dialog=Send text from 127.0.0.1:${kPort}/whole.html`, 'close=2']);
  expectReply(result, 'cancelled');
  check(result.reply.message === 'Nothing was scheduled.', `message ${result.reply.message}`);
  check(result.badge.text === '' && result.badge.title === 'Nothing was scheduled.', `badge ${JSON.stringify(result.badge)}`);
  check((await storedTasks()).length === 0, 'a task was stored');
});

await runCase('no host installed: the extension says so', async () => {
  fs.rmSync(hostFile);
  try {
    await open('/whole.html');
    const result = await capture('toolbar', []);
    check(result.reply && result.reply.status === 'error', `reply ${JSON.stringify(result.reply)}`);
    check(/not installed/.test(result.reply.message), `message ${result.reply.message}`);
    check(result.badge.text === '!' && result.badge.title === result.reply.message, `badge ${JSON.stringify(result.badge)}`);
  } finally {
    installHost();
  }
});

// ---- The host's protocol, straight on its standard streams ----------------------------

function frame(payload) {
  const bytes = Buffer.isBuffer(payload) ? payload : Buffer.from(payload, 'utf8');
  const header = Buffer.alloc(4);
  header.writeUInt32LE(bytes.length);
  return Buffer.concat([header, bytes]);
}

function readReply(bytes) {
  if (bytes.length < 4)
    return null;
  const length = bytes.readUInt32LE(0);
  if (bytes.length !== 4 + length)
    return { bad: `reply of ${bytes.length} bytes for a length of ${length}` };
  return JSON.parse(bytes.subarray(4).toString('utf8'));
}

// A request of exactly `size` bytes that the host refuses after reading all of it.
function paddedRequest(size) {
  const head = '{"kind":"inspect","address":"http://127.0.0.1/","title":"';
  const tail = '"}';
  return head + 'x'.repeat(size - head.length - tail.length) + tail;
}

const origin = `chrome-extension://${extensionId}/`;
const protocolRows = [
  // Lengths whose bytes hold 0x0A, 0x1A and 0x00: read in binary mode, the whole request
  // arrives and is refused for its kind, not as cut off.
  { name: 'length 0x0000010A', input: frame(paddedRequest(0x10a)), message: /unknown kind/ },
  { name: 'length 0x00001A0A', input: frame(paddedRequest(0x1a0a)), message: /unknown kind/ },
  { name: 'length 0x0000011A', input: frame(paddedRequest(0x11a)), message: /unknown kind/ },
  { name: 'over the cap', input: Buffer.from([0x00, 0x00, 0x90, 0x00, 0x7b, 0x7d]), message: /too large/ },
  { name: 'cut off', input: Buffer.concat([Buffer.from([100, 0, 0, 0]), Buffer.from('{"kind":"capture"')]), message: /cut off/ },
  { name: 'bad UTF-8', input: frame(Buffer.from([0x7b, 0x22, 0xc0, 0xaf, 0x22, 0x7d])), message: /not UTF-8/ },
  { name: 'bad JSON', input: frame('{"kind":"capture","address":'), message: /not JSON/ },
  { name: 'wrong origin', args: ['chrome-extension://pppppppppppppppppppppppppppppppp/', '--parent-window=0'],
    input: frame(JSON.stringify({ kind: 'capture', address: `${kTop}/whole.html`, selection: null })),
    message: /does not take requests from chrome-extension:\/\/pppp/ },
];
for (const row of protocolRows) {
  await runCase(`host protocol: ${row.name}`, async () => {
    fs.writeFileSync(path.join(env.QUILLON_WORK, 'host-stderr.log'), '');
    const result = await run(env.QUILLON_HOST, row.args ?? [origin, '--parent-window=0'], { input: row.input, timeoutMs: 60000 });
    const reply = readReply(result.stdout);
    check(reply && reply.status === 'error', `reply ${JSON.stringify(reply)} (exit ${result.code})`);
    check(row.message.test(reply.message), `message "${reply.message}"`);
    check(result.code === 1, `exit code ${result.code}`);
    const stderr = fs.readFileSync(path.join(env.QUILLON_WORK, 'host-stderr.log'), 'utf8');
    check(stderr.includes(reply.message), `stderr "${stderr}"`);
    check((await storedTasks()).length === 0, 'a task was stored');
  });
}

await browser.close();

// ---- The manifests of both families, and Firefox -------------------------------------

await runCase('the Chromium manifest: service worker, fixed key, the id the host accepts', async () => {
  check(manifest.manifest_version === 3, 'not Manifest V3');
  check(manifest.background.service_worker === 'background.js' && !manifest.background.scripts, JSON.stringify(manifest.background));
  const digest = crypto.createHash('sha256').update(Buffer.from(manifest.key, 'base64')).digest('hex').slice(0, 32);
  const id = [...digest].map((c) => String.fromCharCode(97 + parseInt(c, 16))).join('');
  check(id === extensionId, `key gives ${id}, the host manifest allows ${extensionId}`);
  check(JSON.stringify([...manifest.permissions].sort()) ===
    JSON.stringify(['activeTab', 'contextMenus', 'nativeMessaging', 'scripting', 'storage']), `permissions ${manifest.permissions}`);
  check(!manifest.host_permissions, 'host permissions asked');
});

const firefoxManifest = JSON.parse(fs.readFileSync(path.join(env.QUILLON_EXTENSION, 'firefox/manifest.json'), 'utf8'));
const firefoxHost = JSON.parse(fs.readFileSync(path.join(env.QUILLON_EXTENSION, `host/${kHostName}.firefox.json`), 'utf8'));
await runCase('the Firefox manifest: background scripts, the add-on id the host accepts', async () => {
  check(firefoxManifest.manifest_version === 3, 'not Manifest V3');
  check(JSON.stringify(firefoxManifest.background) === JSON.stringify({ scripts: ['background.js'] }), JSON.stringify(firefoxManifest.background));
  check(!firefoxManifest.key, 'a Chromium key in the Firefox manifest');
  const gecko = firefoxManifest.browser_specific_settings.gecko;
  check(JSON.stringify(firefoxHost.allowed_extensions) === JSON.stringify([gecko.id]), `host allows ${firefoxHost.allowed_extensions}, add-on is ${gecko.id}`);
  check(JSON.stringify(firefoxManifest.permissions) === JSON.stringify(manifest.permissions), 'other permissions than Chromium');
});

await runCase('Firefox ESR installs the add-on as a temporary add-on', async () => {
  const home = fs.mkdtempSync(path.join(env.QUILLON_WORK, 'firefox-home-'));
  const firefox = await puppeteer.launch({
    browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true, env: Object.assign({}, process.env, { HOME: home }),
  });
  try {
    const id = await firefox.installExtension(path.join(env.QUILLON_EXTENSION, 'firefox'));
    check(id === firefoxManifest.browser_specific_settings.gecko.id, `installed as ${id}`);
  } finally {
    await firefox.close();
  }
});

server.close();
otherServer.close();
console.log(failures === 0 ? 'all browser capture cases passed' : `${failures} browser capture case(s) failed`);
process.exit(failures === 0 ? 0 : 1);
