// The page's controls. Every result comes from the programs' own C++,
// compiled into this page (page_bindings.cpp); this script shows it, and
// does what only the browser can: unpack gzip, decode and encode pictures.

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

// A handler whose failure, should there be one, is a message on the page.
function guarded(handler, messageId) {
  return function (event) {
    try {
      handler(event);
    } catch (error) {
      byId(messageId).textContent = 'The page failed: ' + (error && error.message ? error.message : error) + '.';
    }
  };
}

// A download link for `data` (bytes or a Blob) named `name`; none (no href) for null.
function setDownload(link, data, name, label) {
  if (link.hasAttribute('href')) URL.revokeObjectURL(link.href);
  if (data === null) {
    link.removeAttribute('href');
    link.removeAttribute('download');
    link.textContent = '';
    return;
  }
  var blob = data instanceof Blob ? data : new Blob([data], { type: 'application/octet-stream' });
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.textContent = label + ' ' + name;
}

// A canvas of the sheet's own size holding its RGBA pixels (font_sheet.h).
function sheetCanvas(pixels, height) {
  var canvas = document.createElement('canvas');
  canvas.width = 128;
  canvas.height = height;
  if (height > 0) {
    var data = new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.length);
    canvas.getContext('2d').putImageData(new ImageData(data, 128, height), 0, 0);
  }
  return canvas;
}

// The sheet with each pixel a square of data-scale pixels, on white: cells
// after the last glyph are white.
function drawSheet(canvas, pixels, height) {
  var scale = Number(canvas.dataset.scale);
  canvas.width = height > 0 ? 128 * scale : 0;
  canvas.height = height * scale;
  if (height === 0) return;
  // Read back often (a test reads every pixel): kept in memory, not on the GPU.
  var context = canvas.getContext('2d', { willReadFrequently: true });
  context.fillStyle = '#fff';
  context.fillRect(0, 0, canvas.width, canvas.height);
  context.imageSmoothingEnabled = false;
  context.drawImage(sheetCanvas(pixels, height), 0, 0, canvas.width, canvas.height);
}

// The font of the file chosen last: the C++ reading of it (page_bindings.cpp),
// or { error } while it is read and when the page takes nothing from it;
// null before any.
var font = null;
var filesChosen = 0;  // a file chosen while another is read wins
var fontsShown = 0;   // a sheet encoded for a font shown before is dropped

function clearFont(message) {
  byId('font-message').textContent = message;
  byId('font-results').hidden = true;
  drawSheet(byId('font-before'), null, 0);
  drawSheet(byId('font-after'), null, 0);
  ['font-download', 'font-c-download', 'font-sheet-download'].forEach(function (id) {
    setDownload(byId(id), null);
  });
  byId('font-commands').textContent = '';
}

function showFont() {
  var shown = ++fontsShown;
  if (font === null) {
    clearFont('Choose a font file: raw 8x8 glyphs, 8 bytes a glyph; a C header (.h) of hex literals; a PSF ' +
      'console font, gzipped or not; or a PNG sheet, 16 glyphs a row, one pixel a dot.');
    return;
  }
  if (font.error) {
    clearFont(font.error);
    return;
  }
  var value = function (id) { return byId(id).value; };
  var result = Module.convertFont(font.name, font.bytes, font.source, value('font-from'), value('font-to'),
    value('font-first'), value('font-count'), value('font-c-name'));
  var words = [font.message, result.error || result.message, result.cError].filter(Boolean).join(' ');
  if (result.error) {
    clearFont(words);
    return;
  }
  byId('font-message').textContent = words;
  byId('font-results').hidden = false;
  drawSheet(byId('font-before'), result.inputSheet, result.sheetHeight);
  drawSheet(byId('font-after'), result.previewSheet, result.sheetHeight);
  setDownload(byId('font-download'), result.output, result.rawName, 'Converted font:');
  setDownload(byId('font-c-download'), result.cError ? null : new TextEncoder().encode(result.cArray), result.cName,
    'C array:');
  byId('font-commands').textContent = result.commands;
  var sheetLink = byId('font-sheet-download');
  setDownload(sheetLink, null);
  sheetCanvas(result.inputSheet, result.sheetHeight).toBlob(function (png) {
    if (shown === fontsShown) setDownload(sheetLink, png, result.sheetName, 'Glyphs as a picture:');
  }, 'image/png');
}

// The content of a gzip file as the browser unpacks it; past `limit` bytes
// it stops, and what it has is one byte more than the page takes.
function unpack(bytes, limit) {
  var reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip')).getReader();
  var parts = [], size = 0;
  function joined() {
    var all = new Uint8Array(size), at = 0;
    parts.forEach(function (part) { all.set(part, at); at += part.length; });
    return all;
  }
  function next() {
    return reader.read().then(function (part) {
      if (part.done) return joined();
      parts.push(part.value);
      size += part.value.length;
      if (size <= limit) return next();
      reader.cancel().catch(function () {});
      return joined();
    });
  }
  return next();
}

// The RGBA pixels of a decoded picture, as it is in the file.
function pixelsOf(image) {
  var canvas = document.createElement('canvas');
  canvas.width = image.width;
  canvas.height = image.height;
  var context = canvas.getContext('2d', { willReadFrequently: true });
  context.drawImage(image, 0, 0);
  return context.getImageData(0, 0, image.width, image.height).data;
}

// A picture, decoded by the browser, read as a sheet of glyphs.
function takeSheet(picture, bytes) {
  var options = { premultiplyAlpha: 'none', colorSpaceConversion: 'none' };
  return createImageBitmap(new Blob([bytes]), options).then(function (image) {
    var width = image.width, height = image.height;
    var pixels = Module.sheetShapeError(width, height) ? new Uint8Array(0) : pixelsOf(image);
    image.close();
    return Module.takeSheet(picture.name, picture.message, width, height, pixels);
  }, function () {
    return { error: picture.message + ': the browser cannot decode it.' };
  });
}

// The font of the file `name`: a gzip file is unpacked first, a picture decoded.
function takeFont(name, bytes, unpacked) {
  var taken = Module.takeFont(name, bytes, unpacked);
  if (taken.gzip) {
    return unpack(bytes, Module.unpackLimit()).then(function (content) {
      return takeFont(name, content, true);
    }, function (error) {
      return { error: name + ' is not whole gzip data: the browser cannot unpack it (' + error.message + ').' };
    });
  }
  if (taken.picture) return takeSheet(taken, bytes);
  return Promise.resolve(taken);
}

// The chosen file, read once; data-read on the file input names it when
// its results are on the page.
function readFontFile() {
  var input = byId('font-file'), file = input.files[0], chosen = ++filesChosen;
  delete input.dataset.read;
  // Meanwhile the other controls show this too.
  font = file ? { error: 'Reading ' + file.name + '\u2026' } : null;
  showFont();
  if (!file) return;
  var done = guarded(function (taken) {
    if (chosen !== filesChosen) return;
    font = taken;
    showFont();
    input.dataset.read = file.name;
  }, 'font-message');
  var refusal = Module.fileSizeRefusal(file.name, file.size);
  if (refusal) {
    done({ error: refusal });
    return;
  }
  file.arrayBuffer().then(function (buffer) {
    return takeFont(file.name, new Uint8Array(buffer), false);
  }).then(done, function (error) {
    done({ error: 'The page cannot read ' + file.name + ': ' + error.message + '.' });
  });
}

// The eight bits over one cycle, one column a step; the phases' bits marked
// A, B and C. A table with no entries has flat lanes and no steps.
function drawWaveform(svg, table, pins) {
  var namespace = 'http://www.w3.org/2000/svg';
  while (svg.firstChild) svg.removeChild(svg.firstChild);
  if (!table) {
    svg.setAttribute('width', 0);
    svg.setAttribute('height', 0);
    return;
  }
  var left = 70, top = 24, lane = 26, high = 16, width = 640;
  var step = table.length > 0 ? width / table.length : 0;
  svg.setAttribute('width', left + width + 10);
  svg.setAttribute('height', top + 8 * lane + 4);
  function add(name, attributes, text) {
    var element = document.createElementNS(namespace, name);
    for (var key in attributes) element.setAttribute(key, attributes[key]);
    if (text !== undefined) element.textContent = text;
    svg.appendChild(element);
  }
  add('rect', { x: 0, y: 0, width: left + width + 10, height: top + 8 * lane + 4, fill: '#fff' });
  (table.length > 0 ? [0, table.length / 2, table.length] : [0]).forEach(function (at) {
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
  var causes = byId('table-causes');
  causes.textContent = '';
  (ran ? result.causes : []).forEach(function (cause) {
    causes.appendChild(document.createElement('li')).textContent = cause;
  });
  byId('table-messages').textContent = textOf(new Uint8Array(consoleBytes));
  var file = result.file === undefined ? null : result.file;
  setDownload(byId('table-download'), file, result.fileName, 'Table:');
  byId('table-text').textContent = file === null ? '' : textOf(file);
  drawWaveform(byId('table-waveform'), file === null ? null : result.table, result.pins);
}

// Each field and the letter of its setting (table_fields.h).
var tableFields = { 'table-pin-a': 'A', 'table-pin-b': 'B', 'table-pin-c': 'C', 'table-period': 'P',
  'table-shift': 'S', 'table-low': 'U', 'table-format': 'O' };

// The fields as trivolta takes the arguments typed; a line it cannot read
// leaves them as they are.
function showFields() {
  var values = Module.tableFields(byId('table-args').value);
  if (values.error) return;
  Object.keys(tableFields).forEach(function (id) {
    if (id === 'table-low') byId(id).checked = values[id];
    else byId(id).value = values[id];
  });
}

// A field changed: its setting in the line, every other word kept, then run.
function changeField(event) {
  var id = event.target.id;
  var value = id === 'table-low' ? (event.target.checked ? '1' : '0') : event.target.value;
  var edit = Module.withTableField(byId('table-args').value, tableFields[id], value);
  if (edit.error) {
    showFields();
    byId('table-note').textContent = 'The arguments are left as they are: ' + edit.error + '.';
    return;
  }
  byId('table-args').value = edit.line;
  showFields();
  runTable();
}

// Emscripten's in-memory file system takes any name and has no /dev/full;
// trivolta meets Linux's refusals here as it would there: a name of more
// than 255 bytes, or a path of 4096 or more, and a device that is always full.
function likeLinux(errors) {
  var encoder = new TextEncoder(), lookupPath = FS.lookupPath;
  FS.lookupPath = function (path, options) {
    if (encoder.encode(path).length >= 4096 ||
        path.split('/').some(function (name) { return encoder.encode(name).length > 255; })) {
      throw new FS.ErrnoError(errors.nameTooLong);
    }
    return lookupPath(path, options);
  };
  var full = FS.makedev(1, 7);
  FS.registerDevice(full, {
    read: function (stream, buffer, offset, length) {
      buffer.fill(0, offset, offset + length);
      return length;
    },
    write: function () {
      throw new FS.ErrnoError(errors.noSpace);
    },
  });
  FS.mkdev('/dev/full', full);
}

function startPage() {
  likeLinux(Module.systemErrors());
  var orientations = Module.orientations();
  var convert = guarded(showFont, 'font-message');
  ['font-from', 'font-to'].forEach(function (id) {
    var select = byId(id);
    orientations.names.forEach(function (name) { select.add(new Option(name, name)); });
    select.addEventListener('change', convert);
  });
  ['font-first', 'font-count', 'font-c-name'].forEach(function (id) {
    byId(id).addEventListener('input', convert);
  });
  byId('font-file').addEventListener('change', guarded(readFontFile, 'font-message'));
  byId('table-form').addEventListener('submit', function (event) {
    event.preventDefault();
    guarded(runTable, 'table-note')();
  });
  byId('table-args').addEventListener('input', guarded(showFields, 'table-note'));
  Object.keys(tableFields).forEach(function (id) {
    byId(id).addEventListener('change', guarded(changeField, 'table-note'));
  });
  if (orientations.error) byId('font-message').textContent = orientations.error;
  else showFont();
  showFields();
  runTable();
  document.body.dataset.ready = 'yes';
}
