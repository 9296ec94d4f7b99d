// One native-messaging host per tab: a host keeps the chunked transfers of the
// page it serves, so the pages of different tabs never share one. The host
// ends when its tab's page goes away, because closing the port closes its
// standard input.
//
// A page reaches the host through its content script ("page" ports), whose
// messages this script passes on, or through the extension's frame in the
// page (frame.js, "frame" ports), which holds its host itself and only
// registers here before it starts one, so that a newer page or frame of the
// tab ends it. A frame says first when it was made ({since}): the browser
// stops this script when it has been idle for a while, forgetting every tab,
// and the frames that hold a host then register again, in any order, so the
// newest of a tab keeps its host and an older one gives way.
const HOST = "org.zorva.plugin";
const FRAME = chrome.runtime.getURL("frame.html");

// tab id -> { page: the port of the content script or frame, native: the
// host's port or null, frame: whether the frame holds the host, since: when
// the frame was made }
const tabs = new Map();

function forget(tabId, tab) {
  if (tabs.get(tabId) !== tab) return;
  tabs.delete(tabId);
  tab.native?.disconnect();
}

/** Ends the host of the tab's earlier page, whoever holds it. */
function closeTab(tabId) {
  const tab = tabs.get(tabId);
  if (!tab) return;
  forget(tabId, tab);
  if (tab.frame) closeFrame(tab.page);
}

function closeFrame(frame) {
  // A port also ends when the browser stops this script: only this says to end the host.
  frame.postMessage({ close: true });
  frame.disconnect();
}

/** Makes the tab's host that of this page or frame, unless a newer frame holds one. */
function take(tabId, tab) {
  const held = tabs.get(tabId);
  if (tab.frame && held?.frame && held.since > tab.since) {
    closeFrame(tab.page);
    return;
  }
  // A new page in the tab gets a host of its own.
  closeTab(tabId);
  tabs.set(tabId, tab);
  tab.page.onDisconnect.addListener(() => forget(tabId, tab));
  if (tab.frame) tab.page.postMessage({ admitted: true });
}

function nativePort(tab) {
  if (tab.native) return tab.native;
  const native = chrome.runtime.connectNative(HOST);
  native.onMessage.addListener((reply) => tab.page.postMessage({ reply }));
  native.onDisconnect.addListener(() => {
    // Chromium reports why in lastError, Firefox in the port's error.
    const error = native.error?.message ?? chrome.runtime.lastError?.message ?? "the host ended";
    if (tab.native === native) tab.native = null;
    try {
      tab.page.postMessage({ disconnected: error });
    } catch {
      // The page has gone as well.
    }
  });
  tab.native = native;
  return native;
}

// The page's origin as the browser names it: the host decides by it whether
// the page may use it, so it never comes from the page itself.
function originOf(sender) {
  return sender.origin ?? new URL(sender.url).origin;
}

// The page's messages as it sent them, but with the origin the browser gives.
function servePage(page, tab, tabId) {
  const origin = originOf(page.sender);
  page.onMessage.addListener((message) => {
    if (tabs.get(tabId) !== tab) return;
    // Whatever "origin" the page put into its message is replaced.
    nativePort(tab).postMessage({ ...message, origin });
    // The page sends its next pieces when the earlier ones have gone on.
    page.postMessage({ accepted: String(message.id ?? "") });
  });
}

chrome.runtime.onConnect.addListener((page) => {
  const tabId = page.sender?.tab?.id;
  const frame = page.name === "frame";
  // A content script cannot pose as the frame, whose address the browser gives.
  if (tabId === undefined || (frame && page.sender.url !== FRAME)) {
    page.disconnect();
    return;
  }
  if (!frame) {
    const tab = { page, native: null, frame };
    take(tabId, tab);
    servePage(page, tab, tabId);
    return;
  }
  page.onMessage.addListener(function made({ since }) {
    page.onMessage.removeListener(made);
    take(tabId, { page, native: null, frame, since: Number(since) });
  });
});
