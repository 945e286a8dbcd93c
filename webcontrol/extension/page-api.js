// Runs in the page: window.QuenvaraUploadControl, one method per member of
// the control, each returning a Promise of its result. A property member
// reads with no argument and writes with one. Boxes the control shows come
// as "quenvara-control-notice" events; "quenvara-control-ready" says it is
// there, once the extension has taken the page's origin. Every call settles: with the answer, with an error once the
// connection to the host ends, or after CALL_LIMIT_MS without an answer.
// When the host this page used is gone, and the selection it held with it,
// "quenvara-control-host-replaced" says so before the next call starts a
// new one.
(() => {
  if (window.quenvaraPageApi) {
    return;
  }
  Object.defineProperty(window, "quenvaraPageApi", { value: true });
  const MEMBERS = [
    "strCmdServerIP", "dwServerPort", "nUpActiveType", "ShowSelectDlg", "GetFileSize",
    "GetFileName", "GetRealFileSize", "GetFileList", "SetUpValue", "RunUploadModule",
    "IsOpenSelectDlg", "IsSucessed", "CheckUploadFileSize", "GetAllFileCount", "GetAllFileList",
    "GetMusicCount", "GetMusicInfo", "SetMaxFileCount", "SetOrvaneFile",
  ];
  // The selection dialog waits on a person, however long they take.
  const WAITS_ON_PERSON = new Set(["ShowSelectDlg"]);
  const CALL_LIMIT_MS = 60000;
  const PAGE = "quenvara-control-page";
  const BRIDGE = "quenvara-control-bridge";
  const pending = new Map();
  let nextId = 1;
  let generation = 0;

  function finish(id, outcome) {
    const call = pending.get(id);
    if (!call) {
      return;
    }
    pending.delete(id);
    clearTimeout(call.timer);
    if ("error" in outcome) {
      call.reject(new Error("QuenvaraUploadControl." + call.member + ": " + outcome.error));
    } else {
      call.resolve(outcome.result);
    }
  }

  function arm(id, call) {
    call.timer = setTimeout(() => finish(id, {
      error: "no answer from the control host within " + CALL_LIMIT_MS / 1000 + " s",
    }), CALL_LIMIT_MS);
  }

  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.source !== BRIDGE) {
      return;
    }
    if (data.ready) {
      present();
      return;
    }
    for (const text of data.notices || []) {
      window.dispatchEvent(new CustomEvent("quenvara-control-notice", { detail: text }));
    }
    if (data.ended) {
      generation = data.generation;
      if (data.ended !== "refused") {
        window.dispatchEvent(new CustomEvent("quenvara-control-host-replaced", {
          detail: data.error.replace(/\.?$/, ". ") + "The files chosen and the values set " +
            "went with it; the next call starts a new host.",
        }));
      }
      for (const [id, call] of pending) {
        if (call.generation < generation) {
          finish(id, { error: data.error });
        }
      }
      return;
    }
    // An answer without an id: the host could not read a request, and
    // cannot say which; every open call fails.
    const waiting = data.id === null ? [...pending.keys()] : [data.id];
    for (const id of waiting) {
      finish(id, "error" in data ? { error: data.error } : { result: data.result });
    }
  });

  const control = {};
  for (const member of MEMBERS) {
    control[member] = (...args) =>
      new Promise((resolve, reject) => {
        const id = nextId++;
        const call = { member, resolve, reject, generation, timer: undefined };
        pending.set(id, call);
        // The host answers other calls while a dialog is open: only the
        // dialog itself waits as long as the person takes.
        if (!WAITS_ON_PERSON.has(member)) {
          arm(id, call);
        }
        window.postMessage({ source: PAGE, id, member, args, generation }, window.location.origin);
      });
  }
  let shown = false;
  function present() {
    if (shown) {
      return;
    }
    shown = true;
    Object.defineProperty(window, "QuenvaraUploadControl", {
      value: Object.freeze(control),
      enumerable: true,
    });
    // A page that listens from its own scripts hears it after they ran.
    const announce = () => window.dispatchEvent(new Event("quenvara-control-ready"));
    if (document.readyState === "loading") {
      document.addEventListener("DOMContentLoaded", announce);
    } else {
      announce();
    }
  }
})();
