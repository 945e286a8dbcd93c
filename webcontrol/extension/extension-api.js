// What differs between the browsers the extension runs in, in one place:
// Firefox has the promise-based `browser` namespace, reports a port's end on
// the port itself and takes no port in a match pattern; Chromium has
// `chrome`, reports the end through runtime.lastError and matches ports.
// Loaded before the worker and the isolated content script, in both.
globalThis.quenvaraExtension = (() => {
  const api = globalThis.browser && globalThis.browser.runtime ? globalThis.browser : globalThis.chrome;
  const firefox = typeof api.runtime.getBrowserInfo === "function";
  return {
    api,
    // The content scripts' pattern for an origin. With its port where the
    // browser matches ports, since a pattern without one matches every port
    // of the host; Firefox's cover the host, and the worker's origin check
    // tells the ports apart.
    matchPattern(origin) {
      const url = new URL(origin);
      if (firefox) {
        return url.protocol + "//" + url.hostname + "/*";
      }
      return url.origin + (url.port ? "" : url.protocol === "https:" ? ":443" : ":80") + "/*";
    },
    // Why a port ended, or null when it just closed.
    portError(port) {
      if (port && port.error && port.error.message) {
        return port.error.message;
      }
      const lost = api.runtime.lastError;
      return lost && lost.message ? lost.message : null;
    },
    // The page's origin as the browser reports it; taken from its address
    // where a browser gives only that.
    senderOrigin(sender) {
      if (!sender) {
        return "";
      }
      if (sender.origin) {
        return sender.origin;
      }
      try {
        return new URL(sender.url).origin;
      } catch {
        return "";
      }
    },
  };
})();
