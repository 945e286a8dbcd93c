// Runs in the page: window.QuenvaraUploadControl, one method per member of
// the control, each returning a Promise of its result. A property member
// reads with no argument and writes with one. Boxes the control shows come
// as "quenvara-control-notice" events; "quenvara-control-ready" says it is
// there.
(() => {
  const MEMBERS = [
    "strCmdServerIP", "dwServerPort", "nUpActiveType", "ShowSelectDlg", "GetFileSize",
    "GetFileName", "GetRealFileSize", "GetFileList", "SetUpValue", "RunUploadModule",
    "IsOpenSelectDlg", "IsSucessed", "CheckUploadFileSize", "GetAllFileCount", "GetAllFileList",
    "GetMusicCount", "GetMusicInfo", "SetMaxFileCount", "SetOrvaneFile",
  ];
  const PAGE = "quenvara-control-page";
  const BRIDGE = "quenvara-control-bridge";
  const pending = new Map();
  let nextId = 1;

  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.source !== BRIDGE) {
      return;
    }
    for (const text of data.notices || []) {
      window.dispatchEvent(new CustomEvent("quenvara-control-notice", { detail: text }));
    }
    // An answer without an id: the host is gone, every open call fails.
    const waiting = data.id === null ? [...pending.keys()] : [data.id];
    for (const id of waiting) {
      const call = pending.get(id);
      if (!call) {
        continue;
      }
      pending.delete(id);
      if ("error" in data) {
        call.reject(new Error(data.error));
      } else {
        call.resolve(data.result);
      }
    }
  });

  const control = {};
  for (const member of MEMBERS) {
    control[member] = (...args) =>
      new Promise((resolve, reject) => {
        const id = nextId++;
        pending.set(id, { resolve, reject });
        window.postMessage({ source: PAGE, id, member, args }, window.location.origin);
      });
  }
  Object.defineProperty(window, "QuenvaraUploadControl", {
    value: Object.freeze(control),
    enumerable: true,
  });
  const announce = () => window.dispatchEvent(new Event("quenvara-control-ready"));
  if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", announce);
  } else {
    announce();
  }
})();
