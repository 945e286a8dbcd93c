// One native host per page connection: the page's calls go to it, its
// answers come back. Only pages on the allowed origins get a host: the list
// the install script wrote, the same one the content scripts' matches were
// made from, so a page that has the control is never turned away in silence.
const HOST = "com.quenvara.control_host";

const allowed = fetch(chrome.runtime.getURL("allowed-origins.json"))
  .then((response) => response.json())
  .then((origins) => new Set(origins))
  .catch(() => new Set());

// The browser already reports origins in this form; parsing again costs
// nothing and keeps the comparison exact should it ever not.
function normalised(origin) {
  try {
    return new URL(origin).origin;
  } catch {
    return String(origin);
  }
}

chrome.runtime.onConnect.addListener((page) => {
  if (page.name !== "quenvara-control") {
    page.disconnect();
    return;
  }
  // The list is read asynchronously; requests that come first are held.
  let host = null;
  let held = [];
  let open = true;
  page.onMessage.addListener((request) => (host ? host.postMessage(request) : held.push(request)));
  page.onDisconnect.addListener(() => {
    open = false;
    if (host) {
      host.disconnect();
    }
  });
  allowed.then((origins) => {
    if (!open) {
      return;
    }
    const origin = normalised(page.sender && page.sender.origin);
    if (!origins.has(origin)) {
      page.postMessage({
        ended: "refused",
        error: "the origin " + origin + " may not use the upload control " +
          "(allow it with install-browser-bridge.sh --allow-origin)",
      });
      page.disconnect();
      return;
    }
    host = chrome.runtime.connectNative(HOST);
    host.onMessage.addListener((answer) => page.postMessage(answer));
    host.onDisconnect.addListener(() => {
      const why = chrome.runtime.lastError ? chrome.runtime.lastError.message : "it ended";
      page.postMessage({ ended: "host", error: "the control host is gone: " + why });
      page.disconnect();
    });
    for (const request of held) {
      host.postMessage(request);
    }
    held = [];
  });
});
