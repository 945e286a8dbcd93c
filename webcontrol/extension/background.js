// One native host per page connection: the page's calls go to it, its
// answers come back. Only pages on the allowed origins get a host: the list
// the install script wrote, the same one the content scripts' matches were
// made from, so a page that has the control is never turned away in silence.
const HOST = "com.quenvara.control_host";

const listed = fetch(chrome.runtime.getURL("allowed-origins.json"))
  .then((response) => response.json())
  .catch(() => []);

// An administrator may allow further origins by browser policy (managed
// storage, "allowedOrigins"). They are taken only in the exact form the
// browser reports, and under the install script's rule: https, or http on
// this computer; anything else is left out.
function acceptableOrigin(text) {
  if (typeof text !== "string" || text.includes("*")) {
    return null;
  }
  let url;
  try {
    url = new URL(text);
  } catch {
    return null;
  }
  if (url.origin !== text.replace(/\/$/, "")) {
    return null;
  }
  const host = url.hostname;
  const loopback = host === "localhost" || host.endsWith(".localhost") || host === "[::1]" ||
    /^127\.\d+\.\d+\.\d+$/.test(host);
  return url.protocol === "https:" || (url.protocol === "http:" && loopback) ? url.origin : null;
}

const managed = (chrome.storage && chrome.storage.managed
  ? chrome.storage.managed.get("allowedOrigins").catch(() => ({}))
  : Promise.resolve({})
).then((items) =>
  (Array.isArray(items.allowedOrigins) ? items.allowedOrigins : [])
    .map(acceptableOrigin)
    .filter((origin) => origin !== null),
);

const allowed = Promise.all([listed, managed]).then(
  ([fromList, fromPolicy]) => new Set([...fromList, ...fromPolicy]),
);

// The content scripts of the manifest cover the listed origins; the
// policy's get the same scripts registered here. The browser runs them
// where the extension holds the site's permission (granted on the
// extension's page).
managed.then(async (origins) => {
  const ids = ["quenvara-page-api", "quenvara-bridge"];
  try {
    await chrome.scripting.unregisterContentScripts({ ids });
  } catch {
    // none registered yet
  }
  if (origins.length === 0) {
    return;
  }
  // With its port, as a pattern without one matches every port of the host.
  const matches = origins.map(
    (origin) => origin + (new URL(origin).port ? "" : origin.startsWith("https:") ? ":443" : ":80") + "/*",
  );
  try {
    await chrome.scripting.registerContentScripts([
      { id: ids[0], matches, js: ["page-api.js"], world: "MAIN", runAt: "document_start" },
      { id: ids[1], matches, js: ["bridge.js"], runAt: "document_start" },
    ]);
  } catch (error) {
    console.warn("quenvara: the policy's origins get no control:", error);
  }
});

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
        error: "the origin " + origin + " may not use the upload control: an " +
          "administrator allows it through the browser's policy for this extension " +
          "(allowedOrigins; see /usr/share/doc/quenvara-browser-bridge/examples)",
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
