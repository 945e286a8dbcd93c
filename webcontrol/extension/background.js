// One native host per page connection: the page's calls go to it, its
// answers come back. Only the pages our content scripts run on (the allowed
// origins) can connect.
const HOST = "com.quenvara.control_host";

function allowedOrigins() {
  const origins = new Set();
  for (const script of chrome.runtime.getManifest().content_scripts || []) {
    for (const match of script.matches || []) {
      origins.add(match.replace(/\/\*$/, ""));
    }
  }
  return origins;
}

chrome.runtime.onConnect.addListener((page) => {
  if (page.name !== "quenvara-control" || !page.sender || !allowedOrigins().has(page.sender.origin)) {
    page.disconnect();
    return;
  }
  const host = chrome.runtime.connectNative(HOST);
  host.onMessage.addListener((answer) => page.postMessage(answer));
  host.onDisconnect.addListener(() => {
    const why = chrome.runtime.lastError ? chrome.runtime.lastError.message : "it ended";
    page.postMessage({ id: null, error: "the control host is not available: " + why });
    page.disconnect();
  });
  page.onMessage.addListener((request) => host.postMessage(request));
  page.onDisconnect.addListener(() => host.disconnect());
});
