// Quillon's page capture: "Quillon..." in the page's context menu and the toolbar button
// read the user's selection in the page and hand it to Quillon's native host, which
// previews the text, lets the user choose when to send it and stores the page task.
//
// One file for every browser family: Chromium runs it as the service worker, Firefox as
// the background script. The port to the host stays open while the user works in the
// host's dialogs (minutes, possibly); an open native port keeps the worker alive, so the
// answer always arrives and is shown on the button's badge and title.
'use strict';

const api = globalThis.browser ?? globalThis.chrome;

// The native host's registered name (its manifest's "name").
const kHostName = 'com.kestrova.quillon';
const kMenuId = 'quillon-capture';
// A page's markup travels with the selection; the host refuses messages larger than
// its cap, so a larger page is sent without it (the host then offers the whole page).
const kMaxMarkupChars = 6 * 1024 * 1024;

function createMenu() {
  api.contextMenus.removeAll(() => {
    api.contextMenus.create({
      id: kMenuId,
      title: 'Quillon...',
      contexts: ['selection', 'page', 'frame'],
    });
  });
}

api.runtime.onInstalled.addListener(createMenu);
if (api.runtime.onStartup)
  api.runtime.onStartup.addListener(createMenu);

// Runs in each frame the capture reaches (injected; it must not use anything outside
// itself). Reports the frame's place among its parents' frames, its selection (text,
// where both ends lie: the element path below BODY by element-child index and the offset
// in that element's text) and its markup, or that the focus lies in a frame this
// extension may not read.
function readFrameSelection(maxMarkupChars) {
  const report = {
    address: location.href,
    title: document.title,
    frame: [],
    focusInUnreadableFrame: false,
    selection: null,
  };
  for (let w = window; w !== w.parent; w = w.parent) {
    const parent = w.parent;
    let index = -1;
    for (let i = 0; i < parent.frames.length; ++i)
      if (parent.frames[i] === w) index = i;
    report.frame.unshift({ index, count: parent.frames.length });
  }
  const active = document.activeElement;
  if (active && (active.tagName === 'IFRAME' || active.tagName === 'FRAME')) {
    let readable = false;
    try { readable = active.contentDocument !== null; } catch (e) { readable = false; }
    report.focusInUnreadableFrame = !readable;
  }
  const selection = window.getSelection();
  if (!selection || selection.rangeCount === 0 || selection.isCollapsed)
    return report;
  const text = selection.toString();
  if (text.trim() === '')
    return report;
  const range = selection.getRangeAt(0);
  const body = document.body;
  const boundary = (container, offset) => {
    const element = container.nodeType === Node.ELEMENT_NODE ? container : container.parentElement;
    if (!body || !element || !body.contains(element))
      return null;
    const before = document.createRange();
    before.setStart(element, 0);
    before.setEnd(container, offset);
    const path = [];
    for (let e = element; e !== body; e = e.parentElement)
      path.unshift(Array.prototype.indexOf.call(e.parentElement.children, e));
    return { path, offset: before.toString().length };
  };
  const markup = document.documentElement.outerHTML;
  report.selection = {
    text,
    start: boundary(range.startContainer, range.startOffset),
    end: boundary(range.endContainer, range.endOffset),
    markup: markup.length <= maxMarkupChars ? markup : null,
  };
  return report;
}

async function readFrames(tabId, frameId) {
  const target = frameId === null || frameId === undefined ? { tabId, allFrames: true } : { tabId, frameIds: [frameId] };
  const results = await api.scripting.executeScript({ target, func: readFrameSelection, args: [kMaxMarkupChars] });
  return results.map((r) => r.result).filter((r) => r);
}

function showResult(tabId, reply) {
  const badge = { scheduled: 'OK', cancelled: '', error: '!' }[reply.status] ?? '!';
  const title = reply.message || 'Quillon';
  globalThis.lastCaptureResult = reply;
  try {
    api.action.setBadgeText({ tabId, text: badge });
    api.action.setTitle({ tabId, title });
    if (api.storage && api.storage.session)
      api.storage.session.set({ lastCaptureResult: reply });
  } catch (e) {
    // The tab may be gone by the time the user has finished; the answer is kept above.
  }
}

// Sends one request to the host and resolves with its reply, or with an error reply
// when the host is missing or ends without answering.
function askHost(request) {
  return new Promise((resolve) => {
    let answered = false;
    let port;
    try {
      port = api.runtime.connectNative(kHostName);
    } catch (e) {
      resolve({ status: 'error', message: `Quillon is not installed for this browser (${e.message}).` });
      return;
    }
    port.onMessage.addListener((reply) => {
      answered = true;
      resolve(reply);
      port.disconnect();
    });
    port.onDisconnect.addListener((p) => {
      if (answered)
        return;
      const error = (p && p.error) || api.runtime.lastError;
      const detail = error && error.message ? error.message : 'the host ended without an answer';
      const missing = /not found|no such native application/i.test(detail);
      resolve({
        status: 'error',
        message: missing ? `Quillon is not installed for this browser (${detail}).` : `Quillon could not schedule the page: ${detail}`,
      });
    });
    port.postMessage(request);
  });
}

// The one capture handler of the menu item and the toolbar button. frameId: the frame
// the user clicked in (the menu knows it), or null to look in every frame of the tab.
async function capture(tab, frameId) {
  const tabId = tab.id;
  const request = { kind: 'capture', address: tab.url || '', title: tab.title || '', selection: null, unreadableFrame: false };
  let reports = [];
  try {
    reports = await readFrames(tabId, frameId);
  } catch (e) {
    // The frame clicked in comes from another site: activeTab reaches the tab's own
    // origin only. The whole page is offered instead.
    if (frameId !== null && frameId !== undefined && frameId !== 0) {
      request.unreadableFrame = true;
    } else {
      const reply = { status: 'error', message: `Quillon cannot read this page (${e.message}).` };
      showResult(tabId, reply);
      return reply;
    }
  }
  const top = reports.find((r) => r.frame.length === 0);
  if (top) {
    request.address = top.address;
    request.title = top.title;
  }
  const selected = reports.find((r) => r.selection !== null);
  if (selected) {
    request.selection = Object.assign({ frameAddress: selected.address, frame: selected.frame }, selected.selection);
  } else if (reports.some((r) => r.focusInUnreadableFrame)) {
    request.unreadableFrame = true;
  }
  const reply = await askHost(request);
  showResult(tabId, reply);
  return reply;
}

api.contextMenus.onClicked.addListener((info, tab) => {
  if (info.menuItemId === kMenuId && tab)
    capture(tab, info.frameId ?? 0);
});
api.action.onClicked.addListener((tab) => capture(tab, null));

// For the browser's own tests of this extension: the handlers, callable from the worker.
globalThis.quillonCapture = capture;
