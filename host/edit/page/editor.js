"use strict";
// The editor's page: a view of the server's session. Every edit goes to the
// server, whose dialog logic compiles, labels and checks; the page shows
// what it answers and asks for frames when the block or the time changed.
(() => {
  const token = new URLSearchParams(location.search).get("token") || "";
  const channels = ["b", "g", "r", "a"];
  const $ = (id) => document.getElementById(id);
  const fields = channels.map((c) => $("formula-" + c));
  let state = null;
  let playing = false;

  function api(path, body, raw) {
    const options = { headers: { "X-Fablix-Token": token } };
    if (body !== undefined) {
      options.method = "POST";
      options.body = raw ? body : JSON.stringify(body);
      options.headers["Content-Type"] = raw ? "application/octet-stream" : "application/json";
    }
    return fetch(path, options);
  }

  async function json(path, body, raw) {
    const response = await api(path, body, raw);
    let answer = {};
    try { answer = await response.json(); } catch (e) { answer = { error: "no answer from the server" }; }
    answer.status = response.status;
    return answer;
  }

  function say(text, bad, where) {
    const element = where || $("message");
    element.textContent = text || "";
    element.classList.toggle("bad", !!bad);
  }

  // A span of bytes of the formula as a span of the field's characters.
  function characterOffset(text, bytes) {
    const encoder = new TextEncoder();
    let count = 0, index = 0;
    for (const ch of text) {
      if (count >= bytes) break;
      count += encoder.encode(ch).length;
      index += ch.length;
    }
    return index;
  }

  function escapeHtml(text) {
    return text.replace(/[&<>]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;" })[c]);
  }

  // A field grows with its text, so that it never scrolls and its marks
  // stay under the characters they mark.
  function fit(field) {
    field.style.height = "auto";
    field.style.height = field.scrollHeight + 2 + "px";
  }

  function showCompile(i) {
    const result = state.compile[i];
    const field = fields[i];
    fit(field);
    const backdrop = field.previousElementSibling;
    const box = field.closest(".formula");
    box.hidden = !result.visible;
    box.classList.toggle("failed", result.failed);
    const text = field.value;
    if (!result.failed) {
      backdrop.innerHTML = escapeHtml(text) + "\n";
      $("error-" + i).textContent = "";
      return;
    }
    const start = characterOffset(text, result.start), end = characterOffset(text, result.end);
    const mark = end > start ? "<mark>" + escapeHtml(text.slice(start, end)) + "</mark>" : '<mark class="empty"></mark>';
    backdrop.innerHTML = escapeHtml(text.slice(0, start)) + mark + escapeHtml(text.slice(end)) + "\n";
    $("error-" + i).textContent = "characters " + result.start + ".." + result.end + ": " + result.cause;
  }

  function makeSliders() {
    const holder = $("sliders");
    holder.textContent = "";
    for (let m = 0; m < 4; ++m) {
      const group = document.createElement("div");
      group.className = "map";
      group.innerHTML = '<h3 id="map-' + m + '"></h3>';
      for (let k = 2 * m; k <= 2 * m + 1; ++k) {
        const row = document.createElement("div");
        row.className = "slider";
        row.innerHTML = '<label for="slider-' + k + '" id="slider-name-' + k + '"></label>' +
          '<input id="slider-' + k + '" type="range" min="0" max="255" step="1">' +
          '<output id="slider-value-' + k + '" for="slider-' + k + '"></output>';
        group.appendChild(row);
      }
      holder.appendChild(group);
    }
    for (let k = 0; k < 8; ++k) {
      const slider = $("slider-" + k);
      slider.addEventListener("input", () => {
        $("slider-value-" + k).textContent = slider.value;
        send("/api/slider", { index: k, value: Number(slider.value) });
      });
    }
  }

  function show(next, fromField) {
    state = next;
    $("title").textContent = state.title ? "— " + state.title : "";
    for (let i = 0; i < 4; ++i) {
      if (fromField !== i && fields[i].value !== state.formulas[i]) fields[i].value = state.formulas[i];
      showCompile(i);
    }
    $("single").checked = state.single;
    for (let m = 0; m < 4; ++m) $("map-" + m).textContent = state.maps[m].label + (state.maps[m].name &&
      state.maps[m].name !== state.maps[m].label ? " · " + state.maps[m].name : "");
    for (let k = 0; k < 8; ++k) {
      const slider = state.sliders[k];
      $("slider-name-" + k).textContent = slider.name || "Slider " + k;
      $("slider-name-" + k).title = slider.name;
      if (document.activeElement !== $("slider-" + k)) $("slider-" + k).value = slider.value;
      $("slider-value-" + k).textContent = slider.label;
    }
    $("time").max = state.last;
    if (!$("path").value && state.settingsPath) $("path").value = state.settingsPath;
    showTime();
    frames.want();
  }

  // One edit in flight at a time; the latest edit of each kind waits for it.
  const queue = new Map();
  let sending = false;
  function send(path, body, fromField) {
    queue.set(path + (body.index !== undefined ? "#" + body.index : ""), { path, body, fromField });
    if (!sending) drain();
  }
  async function drain() {
    sending = true;
    while (queue.size) {
      const [key, edit] = queue.entries().next().value;
      queue.delete(key);
      const answer = await json(edit.path, edit.body);
      if (answer.error) say(answer.error, true); else if (answer.formulas) show(answer, edit.fromField);
    }
    sending = false;
  }

  // --- the frames: one frame in flight, the newest wish served next; while
  // playing, the next frame is asked for while this one is drawn.
  const frames = {
    busy: false, pending: false,
    want() { if (this.busy) this.pending = true; else this.fetch(); },
    async fetch() {
      this.busy = true;
      let next = null;
      do {
        this.pending = false;
        const t = Number($("time").value);
        const loaded = next && next.t === t ? await next.loaded : await loadFrame(t);
        next = null;
        if (playing) {
          step();
          const following = Number($("time").value);
          next = { t: following, loaded: loadFrame(following) };
          this.pending = true;
        }
        for (const view of loaded) paint(view, t);
        document.body.dataset.frames = String(Number(document.body.dataset.frames || 0) + 1);
      } while (this.pending);
      this.busy = false;
    },
  };

  // The canvas's pixels at its size on the screen, at most the frame's own.
  function canvasSize(canvas) {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.min(state.width, Math.round(canvas.clientWidth * ratio)));
    const height = Math.max(1, Math.round(width * state.height / state.width));
    return [width, height];
  }

  // The filtered frame and the original at time t, as they arrive.
  function loadFrame(t) {
    return Promise.all([[$("preview"), "/frame.raw"], [$("original"), "/original.raw"]].map(async ([canvas, path]) => {
      const [w, h] = canvasSize(canvas);
      const response = await api(path + "?t=" + t + "&w=" + w + "&h=" + h);
      if (!response.ok) {
        const answer = await response.json().catch(() => ({}));
        say(answer.error || "the frame cannot be shown", true);
        return null;
      }
      return {
        canvas, pixels: new Uint8ClampedArray(await response.arrayBuffer()),
        width: Number(response.headers.get("X-Width")), height: Number(response.headers.get("X-Height")),
        version: response.headers.get("X-Fablix-Version"),
      };
    }));
  }

  function paint(view, t) {
    if (!view) return;
    const canvas = view.canvas;
    if (canvas.width !== view.width || canvas.height !== view.height) {
      canvas.width = view.width;
      canvas.height = view.height;
    }
    canvas.getContext("2d").putImageData(new ImageData(view.pixels, view.width, view.height), 0, 0);
    canvas.dataset.version = view.version;
    canvas.dataset.time = String(t);
    canvas.dataset.drawnAt = String(performance.now());
  }

  function showTime() { $("time-label").textContent = "t = " + $("time").value + " / T = " + $("time").max; }

  function step() {
    const time = $("time");
    time.value = Number(time.value) >= Number(time.max) ? 0 : Number(time.value) + 1;
    showTime();
  }

  function setPlaying(on) {
    playing = on;
    $("play").textContent = on ? "Pause" : "Play";
    $("play").setAttribute("aria-pressed", String(on));
    if (on) frames.want();
  }

  // --- settings files
  async function settingsAnswer(answer) {
    if (answer.formulas) show(answer);
    say(answer.error || "", !!answer.error);
  }

  async function load() {
    const answer = await json("/api/load", { path: $("path").value });
    await settingsAnswer(answer);
    if (!answer.error) say("loaded " + $("path").value);
  }

  async function save(replace) {
    const path = $("path").value;
    if (!path) { say("name a settings file first", true); $("path").focus(); return; }
    const answer = await json("/api/save", { path, replace: !!replace });
    if (answer.status === 409 && answer.exists) {
      if (confirm(answer.error)) return save(true);
      say("not saved"); return;
    }
    await settingsAnswer(answer);
    if (!answer.error) { $("path").value = answer.settingsPath; say("saved " + answer.settingsPath); }
  }

  async function upload(file) {
    const answer = await json("/api/upload", await file.arrayBuffer(), true);
    await settingsAnswer(answer);
    if (!answer.error) say("opened " + file.name);
  }

  async function downloadResponse(response, fallback) {
    const blob = await response.blob();
    const match = /filename="([^"]+)"/.exec(response.headers.get("Content-Disposition") || "");
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = match ? match[1] : fallback;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    return link.download;
  }

  // --- the build panel
  function makeBuildControls() {
    const holder = $("build-controls");
    holder.textContent = "";
    for (let m = 0; m < 4; ++m) {
      const group = document.createElement("div");
      let html = '<div class="control mapbox"><label><input type="checkbox" id="build-box-' + (510 + m) + '"> Map ' +
        m + '</label><input id="build-name-' + (530 + m) + '" aria-label="Name of map ' + m + '"></div>';
      for (let k = 2 * m; k <= 2 * m + 1; ++k)
        html += '<div class="control"><label><input type="checkbox" id="build-box-' + (520 + k) + '"> Slider ' + k +
          '</label><input id="build-name-' + (540 + k) + '" aria-label="Name of slider ' + k + '"></div>';
      group.innerHTML = html;
      holder.appendChild(group);
    }
    for (const name of holder.querySelectorAll("input:not([type])")) name.addEventListener("change", sendBuildTexts);
    for (const box of holder.querySelectorAll("input[type=checkbox]")) {
      box.addEventListener("change", async () => {
        const answer = await json("/api/build/box", { id: Number(box.id.slice(10)) });
        if (answer.error) say(answer.error, true, $("build-message")); else showBuild(answer, false);
      });
    }
  }

  function showCompact(compact) {
    const parts = compact.map((c) => c.map >= 0
      ? "“" + c.label + "” (sliders " + c.slider + " and " + (c.slider + 1) + ")"
      : "“" + c.label + "” (slider " + c.slider + ")");
    $("build-compact").textContent = parts.length ? parts.join(", ") : "no controls: the plug-in shows no dialog";
  }

  function buildTexts() {
    return {
      module: $("build-module").value, title: $("build-title").value, author: $("build-author").value,
      maps: [0, 1, 2, 3].map((i) => $("build-name-" + (530 + i)).value),
      sliders: [0, 1, 2, 3, 4, 5, 6, 7].map((j) => $("build-name-" + (540 + j)).value),
    };
  }

  async function sendBuildTexts() {
    const answer = await json("/api/build/fields", buildTexts());
    if (answer.error) say(answer.error, true, $("build-message")); else showCompact(answer.compact);
  }

  function showBuild(fields, texts) {
    showCompact(fields.compact);
    if (texts) {
      $("build-module").value = fields.module;
      $("build-title").value = fields.title;
      $("build-author").value = fields.author;
    }
    fields.maps.forEach((map, i) => {
      $("build-box-" + (510 + i)).checked = map.enabled;
      if (texts) $("build-name-" + (530 + i)).value = map.name;
    });
    fields.sliders.forEach((slider, j) => {
      $("build-box-" + (520 + j)).checked = slider.enabled;
      if (texts) $("build-name-" + (540 + j)).value = slider.name;
    });
  }

  async function openBuild() {
    setPlaying(false);
    const answer = await json("/api/build/open", {});
    if (answer.error) { say(answer.error, true); return; }
    showBuild(answer, true);
    say("", false, $("build-message"));
    $("build-panel").showModal();
    $("build-module").focus();
  }

  async function runBuild(replace) {
    const target = $("build-target").value;
    const body = Object.assign({ target, replace: !!replace }, buildTexts());
    say("building…", false, $("build-message"));
    const response = await api("/api/build", body);
    const type = response.headers.get("Content-Type") || "";
    if (response.ok && !type.startsWith("application/json")) {
      const name = await downloadResponse(response, body.module);
      say("built " + name + " (downloaded)", false, $("build-message"));
      return;
    }
    const answer = await response.json().catch(() => ({ error: "no answer from the server" }));
    if (response.status === 409 && answer.exists) {
      if (confirm(answer.error)) return runBuild(true);
      say("not built", false, $("build-message")); return;
    }
    if (answer.error) say(answer.error, true, $("build-message"));
    else say("built " + answer.built + "\n" + (answer.message || ""), false, $("build-message"));
  }

  // --- wiring
  fields.forEach((field, i) => {
    field.addEventListener("input", () => {
      showCompile(i);
      send("/api/formula", { index: i, text: field.value }, i);
    });
  });
  $("single").addEventListener("change", () => send("/api/single", { on: $("single").checked }));
  $("time").addEventListener("input", () => { showTime(); frames.want(); });
  $("play").addEventListener("click", () => setPlaying(!playing));
  $("load").addEventListener("click", load);
  $("save").addEventListener("click", () => save(false));
  $("download").addEventListener("click", async () => {
    const response = await api("/api/download");
    if (response.ok) say("downloaded " + await downloadResponse(response, "settings.fbl"));
    else say("the settings cannot be downloaded", true);
  });
  $("open").addEventListener("change", () => { if ($("open").files[0]) upload($("open").files[0]); $("open").value = ""; });
  $("path").addEventListener("keydown", (e) => { if (e.key === "Enter") load(); });
  $("build").addEventListener("click", openBuild);
  $("build-run").addEventListener("click", () => runBuild(false));
  $("build-close").addEventListener("click", () => $("build-panel").close());
  document.addEventListener("keydown", (e) => {
    if ((e.ctrlKey || e.metaKey) && e.key === "s") { e.preventDefault(); save(false); }
    if ((e.ctrlKey || e.metaKey) && e.key === "o") { e.preventDefault(); $("open").click(); }
    if (e.key === " " && e.target === document.body) { e.preventDefault(); setPlaying(!playing); }
  });
  let dragDepth = 0;
  document.addEventListener("dragenter", (e) => { e.preventDefault(); ++dragDepth; $("drop").hidden = false; });
  document.addEventListener("dragleave", () => { if (--dragDepth <= 0) { dragDepth = 0; $("drop").hidden = true; } });
  document.addEventListener("dragover", (e) => e.preventDefault());
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    dragDepth = 0;
    $("drop").hidden = true;
    if (e.dataTransfer.files[0]) upload(e.dataTransfer.files[0]);
  });
  window.addEventListener("resize", () => {
    if (!state) return;
    fields.forEach(fit);
    frames.want();
  });

  makeSliders();
  makeBuildControls();
  json("/api/state").then((answer) => { if (answer.error) say(answer.error, true); else show(answer); });
})();
