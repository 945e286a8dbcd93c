// Runs beside the page (isolated world): carries the page's calls to the
// extension and the answers back, for this window only.
(() => {
  const PAGE = "quenvara-control-page";
  const BRIDGE = "quenvara-control-bridge";
  let port = null;
  function connect() {
    port = chrome.runtime.connect({ name: "quenvara-control" });
    port.onMessage.addListener((answer) => {
      window.postMessage(Object.assign({ source: BRIDGE }, answer), window.location.origin);
    });
    port.onDisconnect.addListener(() => {
      port = null;
    });
  }
  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.source !== PAGE) {
      return;
    }
    if (port === null) {
      connect();
    }
    port.postMessage({ id: data.id, member: data.member, args: data.args });
  });
})();
