// window.lumen: the programs' operations for the page and for scripts, each a
// promise answered by the Worker (lumen_worker.js), whose source the page
// carries in the element #lumen-worker-source. The Worker starts from a Blob,
// so the page works from a file: URL and asks nothing of the network.
"use strict";

(() => {
  const source = document.getElementById("lumen-worker-source").textContent;
  const workerUrl = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
  const pending = new Map();
  let nextId = 1;
  let worker = null;

  // A Worker that died (it should not: the module's own traps are caught
  // inside) fails what it had and is started again for the next call.
  function startWorker() {
    worker = new Worker(workerUrl);
    worker.onmessage = (event) => {
      const answer = event.data;
      const call = pending.get(answer.id);
      if (!call) return;
      if (answer.progress) {
        if (typeof lumen.onprogress === "function") lumen.onprogress(...answer.progress);
        return;
      }
      pending.delete(answer.id);
      if ("error" in answer) {
        const error = new Error(answer.error);
        error.report = answer.report;
        call.reject(error);
      } else {
        call.resolve(answer.result);
      }
    };
    worker.onerror = (event) => {
      event.preventDefault();
      const calls = [...pending.values()];
      pending.clear();
      worker.terminate();
      worker = null;
      for (const call of calls) call.reject(new Error("Lumen: the page's worker stopped: " + event.message));
    };
  }

  function asBytes(bytes, what) {
    if (bytes instanceof Uint8Array) return bytes.slice();
    if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes.slice(0));
    if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength));
    throw new TypeError("window.lumen: " + what + " must be a Uint8Array or an ArrayBuffer");
  }

  // The bytes are copied, so the caller's (the file that was opened) never change.
  function request(op, args) {
    return new Promise((resolve, reject) => {
      if (!worker) startWorker();
      const id = nextId++;
      pending.set(id, { resolve, reject });
      const buffers = Object.values(args)
        .filter((value) => value instanceof Uint8Array)
        .map((value) => value.buffer);
      worker.postMessage({ id, op, args }, buffers);
    });
  }

  const lumen = {
    onprogress: null,
    memoryLimitMB: Number(self.LUMEN_MEMORY_MB || 1024),
    compress: async (bytes, name) => (await lumen.tessel(bytes, name)).skin,
    tessel: async (bytes, name) => request("tessel", { bytes: asBytes(bytes, "bytes"), name }),
    unpack: async (bytes, name) => (await request("unpack", { bytes: asBytes(bytes, "bytes"), name })).skin,
    replace: async (bytes, id, imageBytes, name, imageName) =>
      (await request("replace", { bytes: asBytes(bytes, "bytes"), id: String(id), image: asBytes(imageBytes, "imageBytes"), name, imageName })).skin,
    convert: async (bytes, fileName) => (await lumen.convertNamed(bytes, fileName)).skin,
    convertNamed: async (bytes, fileName) => request("convert", { bytes: asBytes(bytes, "bytes"), name: fileName }),
    list: async (bytes, name) => request("list", { bytes: asBytes(bytes, "bytes"), name }),
    check: async (bytes, name) => request("check", { bytes: asBytes(bytes, "bytes"), name }),
    describe: async (bytes, name) => request("describe", { bytes: asBytes(bytes, "bytes"), name }),
    pngOf: async (bytes, id, memberIndex, name) =>
      request("pngOf", { bytes: asBytes(bytes, "bytes"), id: String(id), memberIndex: Number(memberIndex || 0), name }),
  };
  startWorker();
  window.lumen = lumen;
})();
