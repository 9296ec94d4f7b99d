// One native-messaging host per tab: a host keeps the chunked transfers of the
// page it serves, so the pages of different tabs never share one. The host
// ends when its tab's page goes away, because closing the port closes its
// standard input.
const HOST = "org.zorva.plugin";

// tab id -> { page: the content script's port, native: the host's port or null }
const tabs = new Map();

function closeTab(tabId) {
  const tab = tabs.get(tabId);
  if (!tab) return;
  tabs.delete(tabId);
  tab.native?.disconnect();
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

chrome.runtime.onConnect.addListener((page) => {
  const tabId = page.sender?.tab?.id;
  if (tabId === undefined) {
    page.disconnect();
    return;
  }
  // A new page in the tab gets a host of its own.
  closeTab(tabId);
  const tab = { page, native: null };
  tabs.set(tabId, tab);
  const origin = originOf(page.sender);
  page.onMessage.addListener((message) => {
    if (tabs.get(tabId) !== tab) return;
    // Whatever "origin" the page put into its message is replaced.
    nativePort(tab).postMessage({ ...message, origin });
    // The page sends its next pieces when the earlier ones have gone on.
    page.postMessage({ accepted: String(message.id ?? "") });
  });
  page.onDisconnect.addListener(() => {
    if (tabs.get(tabId) === tab) closeTab(tabId);
  });
});
