// The page's controls. Every result comes from the programs' own C++,
// compiled into this page (page_bindings.cpp); this script only shows it.

// Standard output, byte for byte: trivolta's console.
var consoleBytes = [];
Module.stdout = function (byte) {
  if (byte !== null) consoleBytes.push(byte);
};
Module.onRuntimeInitialized = startPage;

function byId(id) {
  return document.getElementById(id);
}

function textOf(bytes) {
  return new TextDecoder().decode(bytes);
}

// A download link for `bytes` named `name`; none (no href) for null.
function setDownload(link, bytes, name, label) {
  if (link.hasAttribute('href')) URL.revokeObjectURL(link.href);
  if (bytes === null) {
    link.removeAttribute('href');
    link.removeAttribute('download');
    link.textContent = '';
    return;
  }
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  link.download = name;
  link.textContent = label + ' ' + name;
}

// Glyph i at column i mod 16, row i div 16, each pixel a square of
// data-scale pixels, set pixels black on white; a partial last glyph shows
// its own rows.
function drawSheet(canvas, bytes) {
  var scale = Number(canvas.dataset.scale);
  var rows = Math.ceil(bytes.length / 128);
  canvas.width = 128 * scale;
  canvas.height = rows * 8 * scale;
  // Read back often (a test reads every pixel): kept in memory, not on the GPU.
  var context = canvas.getContext('2d', { willReadFrequently: true });
  context.fillStyle = '#fff';
  context.fillRect(0, 0, canvas.width, canvas.height);
  context.fillStyle = '#000';
  for (var i = 0; i < bytes.length; i++) {
    var glyph = i >> 3;
    var x0 = (glyph % 16) * 8;
    var y = Math.floor(glyph / 16) * 8 + (i & 7);
    for (var bit = 0; bit < 8; bit++) {
      if (bytes[i] & (0x80 >> bit)) context.fillRect((x0 + bit) * scale, y * scale, scale, scale);
    }
  }
}

var font = { name: '', content: null };

function showFont() {
  var message = byId('font-message');
  if (font.content === null) {
    message.textContent = 'Choose a font file: raw 8x8 glyphs, 8 bytes a glyph, or a C header (.h) of hex literals.';
    return;
  }
  var result = Module.convertFont(font.name, font.content, byId('font-from').value, byId('font-to').value);
  message.textContent = result.error ? result.error : result.message;
  drawSheet(byId('font-before'), result.input);
  drawSheet(byId('font-after'), result.error ? new Uint8Array(0) : result.preview);
  var some = !result.error && result.output.length > 0;
  setDownload(byId('font-download'), some ? result.output : null, result.rawName, 'Converted font:');
  setDownload(byId('font-c-download'), some ? new TextEncoder().encode(result.cArray) : null, result.cName,
    'C array:');
  byId('font-commands').textContent = result.error ? '' : result.commands;
}

function readFontFile() {
  var file = byId('font-file').files[0];
  if (!file) return;
  file.arrayBuffer().then(function (buffer) {
    font = { name: file.name, content: new Uint8Array(buffer) };
    showFont();
  });
}

// The eight bits over one cycle, one column a step; the phases' bits marked
// A, B and C.
function drawWaveform(svg, table, pins) {
  var namespace = 'http://www.w3.org/2000/svg';
  while (svg.firstChild) svg.removeChild(svg.firstChild);
  if (!table) {
    svg.setAttribute('width', 0);
    svg.setAttribute('height', 0);
    return;
  }
  var left = 70, top = 24, lane = 26, high = 16, width = 640;
  var step = width / table.length;
  svg.setAttribute('width', left + width + 10);
  svg.setAttribute('height', top + 8 * lane + 4);
  function add(name, attributes, text) {
    var element = document.createElementNS(namespace, name);
    for (var key in attributes) element.setAttribute(key, attributes[key]);
    if (text !== undefined) element.textContent = text;
    svg.appendChild(element);
  }
  add('rect', { x: 0, y: 0, width: left + width + 10, height: top + 8 * lane + 4, fill: '#fff' });
  [0, table.length / 2, table.length].forEach(function (at) {
    var x = left + at * step;
    add('line', { x1: x, y1: top - 6, x2: x, y2: top + 8 * lane, stroke: '#ccc' });
    add('text', { x: x, y: top - 10, 'text-anchor': 'middle' }, String(at));
  });
  for (var bit = 0; bit < 8; bit++) {
    var base = top + (bit + 1) * lane - 5;
    var phase = ['A', 'B', 'C'].filter(function (name, i) { return pins[i] === bit; }).join('');
    add('text', { x: 4, y: base - 3 }, 'bit' + bit + (phase ? ' ' + phase : ''));
    var points = [];
    for (var i = 0; i < table.length; i++) {
      var y = (table[i] >> bit) & 1 ? base - high : base;
      points.push(left + i * step + ',' + y, left + (i + 1) * step + ',' + y);
    }
    // data-low: the line's height at 0, for reading the bits back.
    add('polyline', { points: points.join(' '), fill: 'none', stroke: phase ? '#0a7d00' : '#666', 'stroke-width': 2,
      'data-bit': bit, 'data-low': base });
  }
}

function runTable() {
  consoleBytes = [];
  var result = Module.runTrivolta(byId('table-args').value);
  var ran = result.lineError === '';
  byId('table-status').textContent = ran ? String(result.status) : '';
  byId('table-note').textContent = ran ? '' : 'Not run: ' + result.lineError + '.';
  byId('table-messages').textContent = textOf(new Uint8Array(consoleBytes));
  var file = result.file === undefined ? null : result.file;
  setDownload(byId('table-download'), file, result.fileName, 'Table:');
  byId('table-text').textContent = file === null ? '' : textOf(file);
  drawWaveform(byId('table-waveform'), file === null ? null : result.table, result.pins);
}

// The arguments the controls stand for, into the field, then run.
function fillArguments() {
  var value = function (id) { return byId(id).value; };
  var format = value('table-format');
  byId('table-args').value = '-A' + value('table-pin-a') + ' -B' + value('table-pin-b') + ' -C' + value('table-pin-c') +
    ' -P' + value('table-period') + ' -S' + value('table-shift') + (byId('table-low').checked ? ' -U0' : '') +
    ' -O' + format + (format === 'A' ? 'trivolta.asm' : 'trivolta.c');
  runTable();
}

function startPage() {
  var orientations = Module.orientations();
  ['font-from', 'font-to'].forEach(function (id) {
    var select = byId(id);
    orientations.names.forEach(function (name) { select.add(new Option(name, name)); });
    select.addEventListener('change', showFont);
  });
  byId('font-file').addEventListener('change', readFontFile);
  byId('table-form').addEventListener('submit', function (event) {
    event.preventDefault();
    runTable();
  });
  ['table-pin-a', 'table-pin-b', 'table-pin-c', 'table-period', 'table-shift', 'table-low', 'table-format']
    .forEach(function (id) { byId(id).addEventListener('change', fillArguments); });
  if (orientations.error) byId('font-message').textContent = orientations.error;
  else showFont();
  runTable();
  document.body.dataset.ready = 'yes';
}
