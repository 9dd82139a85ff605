// The hub's live panel. Every name, offset, type, unit and event comes from /tables.json,
// which the build writes from the program's own tables; the updates come from /events
// (Server-Sent Events, at most ten a second) and carry the latest datagram of each block.
"use strict";

let T = null;                 // the tables
let blocks = [null, null, null, null]; // DataView of the latest datagram by block number
const rates = {};             // block number -> { count, t, rate }
const $ = (id) => document.getElementById(id);

function el(tag, attrs, text) {
  const e = document.createElement(tag);
  for (const k in attrs || {}) e.setAttribute(k, attrs[k]);
  if (text !== undefined) e.textContent = text;
  return e;
}

function fromHex(hex) {
  const bytes = new Uint8Array(hex.length / 2);
  for (let i = 0; i < bytes.length; ++i) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
  return new DataView(bytes.buffer);
}

// The value of a field { block, offset, type } in the latest datagrams; null when none yet.
function read(f) {
  const v = blocks[f.block];
  if (!v || f.offset + 4 > v.byteLength) return null;
  switch (f.type) {
    case "i32": return v.getInt32(f.offset, true);
    case "f64": return v.getFloat64(f.offset, true);
    case "latlonalt":
      return [0, 8, 16].map((o) => v.getFloat64(f.offset + o, true));
    case "string32": {
      let s = "";
      for (let i = 0; i < 32; ++i) {
        const c = v.getUint8(f.offset + i);
        if (c === 0) break;
        s += String.fromCharCode(c);
      }
      return s;
    }
  }
  return null;
}

// An ADF frequency in the simulator's BCD form: one decimal digit per 4 bits, tenths of kHz
// in bits 12 to 15 up.
function adf(bcd) {
  let n = 0;
  for (let shift = 28; shift >= 12; shift -= 4) n = n * 10 + ((bcd >>> shift) & 15);
  return (n / 10).toFixed(1);
}

function show(r, value) {
  if (value === null) return "–";
  const x = typeof value === "number" ? value * r.scale : value;
  switch (r.format) {
    case "on": return x ? "ON" : "off";
    case "int": return String(Math.round(x));
    case "deg": return String(((Math.round(x) % 360) + 360) % 360).padStart(3, "0");
    case "adf": return adf(value);
    case "f0": return x.toFixed(0);
    case "f1": return x.toFixed(1);
    case "f2": return x.toFixed(2);
    case "f3": return x.toFixed(3);
  }
  return String(x);
}

function role(name) {
  return T.readings.find((r) => r.role === name);
}

// ---- the page, built from the tables

function buildReadings() {
  const primary = $("primary");
  for (const name of ["heading", "altitude", "airspeed", "vs"]) {
    const r = role(name);
    const d = el("div");
    d.append(el("div", { class: "unit" }, r.label),
             el("span", { class: "big", id: "r-" + name }, "–"), " ",
             el("span", { class: "unit" }, r.unit));
    primary.append(d);
  }
  const groups = {};
  for (const r of T.readings) {
    if (!groups[r.group]) {
      groups[r.group] = el("div", { class: "group" });
      groups[r.group].append(el("h3", {}, r.group));
      $("readings").append(groups[r.group]);
    }
    const s = el("span", { class: "reading", title: r.name });
    r.el = el("span", { class: "v" }, "–");
    s.append(r.label + " ", r.el, " ", el("span", { class: "unit" }, r.unit));
    groups[r.group].append(s);
  }
}

function buildControls() {
  const groups = {};
  for (const c of T.controls) {
    if (!groups[c.group]) {
      groups[c.group] = el("div", { class: "group" });
      groups[c.group].append(el("h3", {}, c.group));
      $("control-groups").append(groups[c.group]);
    }
    const wrap = el("span", { class: "control" });
    const b = el("button", { "data-index": c.index, "data-value": c.value,
                             title: c.index + "=" + c.value + " → " + c.event }, c.label);
    b.addEventListener("click", () => send(c.index, c.value));
    wrap.append(b, el("span", { class: "event" }, c.event));
    groups[c.group].append(wrap);
  }
  const eventOf = () => {
    const v = T.vars.find((x) => x.index === Number($("free-index").value));
    $("free-event").textContent = v ? (v.events || "(no event)") + " · " + v.form
                                    : "not an index KivFSX takes";
  };
  $("free-index").addEventListener("input", eventOf);
  $("free-set").addEventListener("submit", (e) => {
    e.preventDefault();
    send($("free-index").value, $("free-value").value);
  });
}

// A change goes as a POST with the panel's own header and no body: the hub takes a change only
// with that header and the page's own Origin, which no other site's page can send.
function send(index, value) {
  const query = new URLSearchParams({ index: String(index), value: String(value) });
  fetch("/set?" + query, { method: "POST", headers: { "X-KivFSX-Panel": "1" } })
    .then((r) => r.text().then((t) => { $("control-result").textContent = t; }))
    .catch((e) => { $("control-result").textContent = "not sent: " + e; });
}

function buildFields() {
  const body = $("field-table").tBodies[0];
  T.fields = [];
  for (const b of T.blocks) {
    for (const f of b.fields) {
      f.block = b.block;
      const tr = el("tr");
      f.el = el("td", {}, "–");
      tr.append(el("td", {}, f.name), el("td", {}, "Block" + b.block), el("td", {}, f.offset),
                el("td", {}, f.units), f.el);
      f.row = tr;
      body.append(tr);
      T.fields.push(f);
    }
  }
  $("field-search").addEventListener("input", () => {
    const q = $("field-search").value.toLowerCase();
    for (const f of T.fields) f.row.style.display = f.name.toLowerCase().includes(q) ? "" : "none";
  });
}

// ---- updates

function linkState(u) {
  let newest = -1;
  for (const b of u.blocks.slice(1)) {
    if (b.age >= 0 && (newest < 0 || b.age < newest)) newest = b.age;
  }
  if (newest < 0) return "waiting";
  return newest < T.linkLossMs ? "up" : "lost";
}

function updateLink(u) {
  const state = linkState(u);
  $("link-state").textContent = state;
  $("link-state").className = "state " + state;
  $("link-note").textContent = state === "lost"
    ? "no block for " + (T.linkLossMs / 1000) + " s or more" : "";
  const dl = $("link-figures");
  dl.replaceChildren();
  const figures = [["KivFSX", u.peer || "not heard yet"], ["Discoveries", u.discoveries],
                   ["Answered", u.answers], ["Keep-alives sent", u.keepAlives],
                   ["Hub", u.paused ? "paused" : "running"]];
  for (const [k, v] of figures) dl.append(el("dt", {}, k), el("dd", {}, v));
  const body = $("block-table").tBodies[0];
  body.replaceChildren();
  for (const b of u.blocks) {
    if (b.n === 0 && b.count === 0) continue;
    const r = rates[b.n] || (rates[b.n] = { count: b.count, t: u.t, rate: 0 });
    if (u.t - r.t >= 3000) { // a few rotations, so that the rate is not a whole number
      r.rate = (b.count - r.count) * 1000 / (u.t - r.t);
      r.count = b.count;
      r.t = u.t;
    }
    const tr = el("tr", { id: "block-" + b.n });
    tr.append(el("td", {}, b.n === 0 ? "none" : "Block" + b.n), el("td", {}, r.rate.toFixed(1) + "/s"),
              el("td", {}, b.age < 0 ? "never" : (b.age / 1000).toFixed(1) + " s ago"),
              el("td", {}, b.gaps), el("td", {}, b.refused));
    body.append(tr);
  }
  const reasons = Object.entries(u.refusedBy).map(([k, v]) => k + " " + v);
  $("refused-by").textContent = reasons.length ? "Refused by reason: " + reasons.join(", ") : "";
}

function drawCompass(heading, bug) {
  const c = $("compass"), g = c.getContext("2d"), r = c.width / 2 - 8;
  g.clearRect(0, 0, c.width, c.height);
  g.save();
  g.translate(c.width / 2, c.height / 2);
  g.strokeStyle = "#5d6b7a";
  g.beginPath(); g.arc(0, 0, r, 0, 2 * Math.PI); g.stroke();
  g.rotate(-(heading || 0) * Math.PI / 180);
  g.fillStyle = "#dde3ea";
  g.font = "12px sans-serif";
  g.textAlign = "center";
  for (let d = 0; d < 360; d += 10) {
    g.save();
    g.rotate(d * Math.PI / 180);
    g.fillRect(-1, -r, 2, d % 30 === 0 ? 12 : 6);
    if (d % 30 === 0) g.fillText(["N", "E", "S", "W"][d / 90] || String(d / 10), 0, -r + 26);
    g.restore();
  }
  if (bug !== null) {
    g.save();
    g.rotate(bug * Math.PI / 180);
    g.fillStyle = "#e0a030";
    g.fillRect(-7, -r - 2, 14, 8);
    g.restore();
  }
  g.restore();
  g.fillStyle = "#4cd964";
  g.beginPath(); g.moveTo(c.width / 2, 14); g.lineTo(c.width / 2 - 6, 2);
  g.lineTo(c.width / 2 + 6, 2); g.fill();
}

// Traffic around the user's aircraft, north up, on a flat-earth plan out to the farthest slot.
function drawPlan() {
  const c = $("plan"), g = c.getContext("2d"), mid = c.width / 2;
  const tr = T.traffic, v = blocks[tr.block];
  const lat = read(role("lat")), lon = read(role("lon"));
  g.clearRect(0, 0, c.width, c.height);
  const seen = [];
  if (v && lat !== null) {
    for (let k = 0; k < tr.slots; ++k) {
      const at = tr.offset + k * tr.size;
      const id = v.getUint32(at + tr.id, true);
      if (id === 0) continue;
      const north = (v.getFloat64(at + tr.lat, true) - lat) * 60;
      const east = (v.getFloat64(at + tr.lon, true) - lon) * 60 * Math.cos(lat * Math.PI / 180);
      seen.push({ id, north, east, agl: v.getFloat64(at + tr.agl, true) });
    }
  }
  let range = 5;
  for (const s of seen) range = Math.max(range, Math.hypot(s.north, s.east) * 1.15);
  g.strokeStyle = "#2f3a46";
  for (const f of [1 / 3, 2 / 3, 1]) { g.beginPath(); g.arc(mid, mid, (mid - 4) * f, 0, 7); g.stroke(); }
  g.fillStyle = "#93a1b0";
  g.font = "11px sans-serif";
  g.fillText(range.toFixed(0) + " nm", mid + 4, 14);
  const scale = (mid - 4) / range;
  g.fillStyle = "#4cd964";
  g.beginPath(); g.arc(mid, mid, 5, 0, 7); g.fill();
  for (const s of seen) {
    const x = mid + s.east * scale, y = mid - s.north * scale;
    g.fillStyle = "#e0a030";
    g.fillRect(x - 4, y - 4, 8, 8);
    g.fillStyle = "#dde3ea";
    g.textAlign = x > mid ? "right" : "left"; // the label stays inside the plan
    g.fillText("#" + s.id + " " + Math.round(s.agl) + " ft", x > mid ? x - 7 : x + 7, y + 4);
    g.textAlign = "left";
  }
  $("traffic-note").textContent = seen.length + " of " + tr.slots + " slots in use";
}

function format(f, value) {
  if (value === null) return "–";
  if (Array.isArray(value)) return value.map((x) => x.toFixed(6)).join(", ");
  if (typeof value === "string") return JSON.stringify(value);
  if (f.name === "AircraftType") return value + " (" + (T.aircraft[value] || "?") + ")";
  return f.type === "f64" ? value.toFixed(4) : String(value);
}

function update(u) {
  u.raw.forEach((hex, i) => { blocks[i + 1] = hex.length ? fromHex(hex) : null; });
  updateLink(u);
  for (const r of T.readings) {
    const text = show(r, read(r));
    r.el.textContent = text;
    r.el.className = "v" + (r.format === "on" ? (text === "ON" ? " on" : " off") : "");
    if (r.role && $("r-" + r.role)) $("r-" + r.role).textContent = text;
  }
  drawCompass(read(role("heading")), read(role("bug")));
  drawPlan();
  for (const f of T.fields) {
    if (f.row.style.display !== "none") f.el.textContent = format(f, read(f));
  }
}

// ---- the stream: an update comes every 100 ms while the hub runs. When none has come for
// STALE_MS the page says so ("stale", with the time since the last one) instead of showing
// old values as live; a broken or refused stream (the hub stopped, or a fifth page got 503) is
// opened again by the page itself, after a pause that grows up to RETRY_MAX_MS.

const STALE_MS = 2000;
const HUNG_MS = 6000;          // an open stream this long silent is opened again
const RETRY_FIRST_MS = 1000;
const RETRY_MAX_MS = 8000;
let stream = null;
let lastUpdate = 0;            // performance.now() of the last update, 0 before the first
let retryMs = RETRY_FIRST_MS;
let retryTimer = 0;

function connect() {
  retryTimer = 0;
  stream = new EventSource("/events");
  stream.onmessage = (e) => {
    lastUpdate = performance.now();
    retryMs = RETRY_FIRST_MS;
    document.body.classList.remove("stale");
    update(JSON.parse(e.data));
  };
  stream.onerror = () => reconnect();
}

// Closes the stream (the browser's own retries stop) and opens it again after a pause.
function reconnect() {
  if (stream) stream.close();
  stream = null;
  if (!retryTimer) {
    retryTimer = setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, RETRY_MAX_MS);
  }
  watch();
}

function watch() {
  const silent = lastUpdate ? performance.now() - lastUpdate : Infinity;
  if (stream && lastUpdate && silent > HUNG_MS) reconnect();
  if (silent <= STALE_MS || (!lastUpdate && stream)) return;
  document.body.classList.add("stale");
  $("link-state").textContent = "stale";
  $("link-state").className = "state stale";
  $("link-note").textContent =
      (lastUpdate ? "no update from the hub for " + (silent / 1000).toFixed(1) + " s"
                  : "no connection to the hub") + (stream ? "" : "; reconnecting");
}

fetch("/tables.json").then((r) => r.json()).then((tables) => {
  T = tables;
  buildReadings();
  buildControls();
  buildFields();
  drawCompass(null, null);
  connect();
  setInterval(watch, 500);
  document.body.dataset.ready = "1";
});
