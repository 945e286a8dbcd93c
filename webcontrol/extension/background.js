// One native host per page connection: the page's calls go to it, its
// answers come back. Only pages on the allowed origins get a host: the list
// the install script wrote, the same one the content scripts' matches were
// made from, so a page that has the control is never turned away in silence.
const HOST = "com.quenvara.control_host";

// Chromium runs this file as a service worker, Firefox as a background
// script after the adapter.
if (typeof importScripts === "function" && !globalThis.quenvaraExtension) {
  importScripts("extension-api.js");
}
const { api, portError, senderOrigin, matchPattern } = globalThis.quenvaraExtension;

const listed = fetch(api.runtime.getURL("allowed-origins.json"))
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

const managed = (api.storage && api.storage.managed
  ? api.storage.managed.get("allowedOrigins").catch(() => ({}))
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
    await api.scripting.unregisterContentScripts({ ids });
  } catch {
    // none registered yet
  }
  // A page matched twice would get two bridges, each starting a host for
  // every call: patterns the manifest has already are left out.
  const inManifest = new Set(api.runtime.getManifest().content_scripts.flatMap((s) => s.matches));
  const matches = [...new Set(origins.map(matchPattern))].filter((m) => !inManifest.has(m));
  if (matches.length === 0) {
    return;
  }
  try {
    await api.scripting.registerContentScripts([
      { id: ids[0], matches, js: ["page-api.js"], world: "MAIN", runAt: "document_start" },
      { id: ids[1], matches, js: ["extension-api.js", "bridge.js"], runAt: "document_start" },
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

// The content script asks before the page is given the control: where a
// browser's patterns cover every port of a host, a page on a port that was
// not allowed sees no control, as one on a host that was not.
api.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!message || message.query !== "origin-allowed") {
    return false;
  }
  allowed.then((origins) => sendResponse({ allowed: origins.has(normalised(senderOrigin(sender))) }));
  return true;
});

api.runtime.onConnect.addListener((page) => {
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
    const origin = normalised(senderOrigin(page.sender));
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
    host = api.runtime.connectNative(HOST);
    host.onMessage.addListener((answer) => page.postMessage(answer));
    host.onDisconnect.addListener(() => {
      const why = portError(host) || "it ended";
      page.postMessage({ ended: "host", error: "the control host is gone: " + why });
      page.disconnect();
    });
    for (const request of held) {
      host.postMessage(request);
    }
    held = [];
  });
});
