// Runs beside the page (isolated world): carries the page's calls to the
// extension and the answers back, for this window only.
(() => {
  // Once per window, however many of the extension's script lists match.
  if (globalThis.quenvaraBridge) {
    return;
  }
  globalThis.quenvaraBridge = true;
  const { api, portError } = globalThis.quenvaraExtension;
  const PAGE = "quenvara-control-page";
  const BRIDGE = "quenvara-control-bridge";
  let connection = null;
  // Connections ended so far. The page names the one it believes current in
  // each call: a call made before the page heard of an end is refused rather
  // than quietly handed to a new host that holds none of its selection.
  let generation = 0;

  const toPage = (message) =>
    window.postMessage(Object.assign({ source: BRIDGE }, message), window.location.origin);

  function connect() {
    const port = api.runtime.connect({ name: "quenvara-control" });
    let ending = null;
    const current = {
      port,
      // Once per connection, whichever notices first: the port's end or a
      // failed send.
      end(why) {
        if (connection !== current) {
          return;
        }
        connection = null;
        generation += 1;
        toPage({
          id: null,
          ended: ending ? ending.ended : "extension",
          error: ending ? ending.error : "the connection to the upload control's extension was lost" +
            (why ? ": " + why : ""),
          generation,
        });
      },
    };
    port.onMessage.addListener((answer) => {
      if (answer.ended) {
        ending = answer;
      } else {
        toPage(answer);
      }
    });
    port.onDisconnect.addListener(() => current.end(portError(port)));
    return current;
  }

  // The page gets its control once the worker has taken its origin; until
  // then (and for good on an origin it refuses) the page's messages are not
  // carried, so a page cannot reach the extension by posting them itself.
  let allowed = false;
  api.runtime
    .sendMessage({ query: "origin-allowed" })
    .then((answer) => {
      if (answer && answer.allowed) {
        allowed = true;
        toPage({ ready: true });
      }
    })
    .catch(() => {});

  window.addEventListener("message", (event) => {
    const data = event.data;
    if (!allowed || event.source !== window || !data || data.source !== PAGE) {
      return;
    }
    if (data.generation !== generation) {
      toPage({ id: data.id, error: "the connection to the control host ended before this call was sent" });
      return;
    }
    if (connection === null) {
      try {
        connection = connect();
      } catch (error) {
        toPage({ id: data.id, error: "the upload control's extension is not available: " + error.message });
        return;
      }
    }
    try {
      connection.port.postMessage({ id: data.id, member: data.member, args: data.args });
    } catch (error) {
      connection.end(error.message);
    }
  });
})();
