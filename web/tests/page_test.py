#!/usr/bin/python3
# The page (build/web/index.html) from file:// in headless Chromium, driven through its element ids against the
# native programs of build/default: trivolta's status, its causes, messages and file for each argument list, names
# the system refuses and tables of every size; the fields and the argument line following each other; every pair of
# orientations on two fonts against glyphrot's runs; C headers against the C preprocessor, PSF fonts (gzipped or
# not), pictures of glyphs both ways, a range of glyphs, the C array's name, files too large or empty; the keyboard
# alone; the browser's console; the README's screenshot of the page.
#   /usr/bin/python3 web/tests/page_test.py [--update-screenshot]
import functools, gzip, os, re, shlex, shutil, struct, subprocess, sys, tempfile, time, zlib
from pathlib import Path
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver import ActionChains, Keys
from selenium.webdriver.common.by import By

ROOT = Path(__file__).resolve().parents[2]
PAGE, SCREENSHOT = ROOT / 'build/web/index.html', ROOT / 'doc/images/web-page.png'
TRIVOLTA, GLYPHROT = ROOT / 'build/default/trivolta/trivolta', ROOT / 'build/default/glyphrot/glyphrot'
CONSOLE_FONTS = Path('/usr/share/consolefonts')
work = Path(tempfile.mkdtemp(prefix='page-test.'))
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what)


fresh_folder = lambda: Path(tempfile.mkdtemp(dir=work))


# trivolta's arguments as typed: none, help, each error, a warning, names
# and numbers narrowed, quotes, names the system refuses (a name of 300
# bytes, of 130 characters that are 260 bytes, a path of 4200, a full
# device, a folder that is not there, a folder), the console, and tables of
# no entry and of the most.
TABLE_ROWS = [
    '', '--help', '-h', '--version', '--help -P48', '-A0 -B1 -C2 -P48 -S16 -OAtrivolta.asm', '-P50',
    '-P43', '-A3 -B3', '-P42 -S15', '-A1 -B1 -P7 -S5', '-B8 -C8',
    '-OAphases.asm -P70000', '-A300 -OCpins.c', '-P99999999999', '-A4 -B5 -C6 -U0 -oalow.asm',
    '-A7 -B3 -C9 -U0 -OC', "-OC'my table.c' -mS", '-OC"a \\"b\\".c"  # a comment', '-OCsub/x.c', '-OC/dev/stdout',
    '-OC' + 'x' * 300, '-OC' + '\u00e9' * 130, '-OC' + 'a/' * 2100 + 'b', '-OC/dev/full', '-OA/dev/full -P6 -S2',
    '-OC.', '-P0 -S0', '-OA -P0 -S0 -A9', '-P65534 -S1',
]
# What a page with the arguments `line` shows; with a field and a value, the line is typed (an input event), then
# the field set (a change event), which runs trivolta.
READ_TABLE = '''
const [line, field, value, done] = arguments, $ = id => document.getElementById(id);
$('table-args').value = line;
if (field === null) $('table-run').click();
else {
  $('table-args').dispatchEvent(new Event('input'));
  if (typeof value === 'boolean') $(field).checked = value; else $(field).value = value;
  $(field).dispatchEvent(new Event('change'));
}
const link = $('table-download'), svg = $('table-waveform'), fields = {};
for (const id of ['table-pin-a', 'table-pin-b', 'table-pin-c', 'table-period', 'table-shift', 'table-format'])
  fields[id] = $(id).value;
fields['table-low'] = $('table-low').checked;
const out = {status: $('table-status').textContent, messages: $('table-messages').textContent,
  causes: [...$('table-causes').children].map(item => item.textContent), note: $('table-note').textContent,
  args: $('table-args').value, fields, text: $('table-text').textContent, name: link.getAttribute('download'),
  href: link.getAttribute('href'),
  labels: [...svg.querySelectorAll('text')].map(t => t.textContent).filter(t => t.startsWith('bit')),
  // each lane's level at each step, 1 where the line is off its height at 0 (data-low)
  lanes: [...svg.querySelectorAll('polyline')].map(p => p.getAttribute('points').split(' ').filter((point, i) => point && i % 2 == 0)
    .map(point => point.split(',')[1] === p.dataset.low ? '0' : '1').join(''))};
if (!out.href) done(out);
else fetch(out.href).then(r => r.arrayBuffer()).then(b => { out.bytes = [...new Uint8Array(b)]; done(out); });
'''
# The fields as trivolta takes the line typed (numbers narrowed, the last of an option, any -U0).
FIELDS_OF_LINES = [
    ('-a300 -P70000 -S-1 -U0 -oAx.asm', {'table-pin-a': '44', 'table-period': '4464', 'table-shift': '65535',
                                         'table-low': True, 'table-format': 'A'}),
    ('-B9 -b7 -C-1 -U7 -OCx.c -OA', {'table-pin-b': '7', 'table-pin-c': '255', 'table-low': False,
                                    'table-format': 'A'}),
    ('-U0 -U5 -P40 -S13 -OCkeys.c', {'table-low': True, 'table-period': '40', 'table-shift': '13',
                                     'table-format': 'C'}),
]
# A field changed: the line it leaves (every other word, a typed name and a comment kept), then run; a line the
# page cannot read is left as it is.
FIELD_EDITS = [
    ("-OC'my table.c' -P50  # a note", 'table-pin-a', '3', "-OC'my table.c' -P50 -A3  # a note"),
    ("-OC'my table.c' -P50", 'table-format', 'A', "'-OAmy table.c' -P50"),
    ('-OAtable.asm -P6', 'table-format', 'C', '-OCtable.asm -P6'),
    ('-A0 -B1 -C2 -P48 -S16 -OAtrivolta.asm', 'table-format', 'C', '-A0 -B1 -C2 -P48 -S16 -OCtrivolta.c'),
    ('-P48', 'table-format', 'A', '-P48 -OAtrivolta.asm'),
    ('-OCx.c -OA', 'table-format', 'C', '-OCx.c -OC'),
    ('-p40 -s13 -OCkeys.c', 'table-period', '42', '-P42 -s13 -OCkeys.c'),
    ('-A5 -A300', 'table-pin-a', '3', '-A5 -A3'),
    ('-U0 -A4 -u00', 'table-low', False, '-A4'),
    ('-A4 -U5', 'table-low', True, '-A4 -U5 -U0'),
    ('', 'table-shift', '7', '-S7'),
    ('-P42 "unclosed', 'table-shift', '3', '-P42 "unclosed'),
]


@functools.cache
def readme_causes():  # the README's words for each bit of trivolta's exit status: its first row, no (...), to a ;
    section = (ROOT / 'README.md').read_text().split('## trivolta')[1].split('### Exit status')[1].split('\n#')[0]
    causes = {}
    for cells in (line.split(' | ') for line in section.splitlines() if re.match(r'\| \d+ \|', line)):
        causes.setdefault(int(cells[0].strip('| ')), re.sub(r' \([^()]*\)', '', cells[2].strip(' |')).split(';')[0])
    return causes


def port_bytes(text):  # the values of a C table (0xfb, 00) or of DB lines (fbh)
    lines = [line.split('*/')[-1].replace('DB', '') for line in text.splitlines()]
    return [int(v.strip().removeprefix('0x').removesuffix('h'), 16) for line in lines for v in line.split(',')
            if re.fullmatch(r'\s*(0x[0-9a-f]{2}|00|[0-9a-f]{1,2}h)\s*', v)]


def check_table(driver, line, field=None, value=None, typed=None):  # typed: the line before the field changed it
    folder = fresh_folder()
    page, what = driver.execute_async_script(READ_TABLE, typed or line, field, value), f'trivolta {line[:80]!r}'
    if field:
        what = f'{typed!r} with #{field} set to {value!r}'
        check(page['args'] == line, f'{what}: the arguments are {page["args"]!r}, not {line!r}')
        if '"unclosed' in line:
            return check('not closed' in page['note'], f'{what}: the note {page["note"]!r}')
    native = subprocess.run([TRIVOLTA, *shlex.split(line, comments=True)], cwd=folder, capture_output=True)
    files = sorted(folder.iterdir())
    check(page['status'] == str(native.returncode), f'{what}: status {page["status"]}, native {native.returncode}')
    check(page['causes'] == [f'{bit}: {words}' for bit, words in readme_causes().items() if native.returncode & bit],
          f'{what}: the causes {page["causes"]}')
    check(page['messages'] == native.stdout.decode(), f'{what}: messages {page["messages"][:300]!r}')
    if not files:
        return check(page['href'] is None and page['lanes'] == [], f'{what}: a link or waveform, but no file')
    written = files[0].read_bytes()
    check(page['name'] == files[0].name and bytes(page.get('bytes', [])) == written,
          f'{what}: the link is {page["name"]!r}, not {files[0].name!r} with its bytes')
    check(page['text'] == written.decode(), f'{what}: the text is not the file')
    table, pins = port_bytes(written.decode()), {'A': 0, 'B': 1, 'C': 2}
    for option, number in re.findall(r'(?i)-([abc])(\d+)', line):
        pins[option.upper()] = int(number) % 256
    check(len(page['lanes']) == len(page['labels']) == 8, f'{what}: the waveform has not eight bits')
    for bit, levels in enumerate(page['lanes']):
        check(levels == ''.join(str(entry >> bit & 1) for entry in table), f'{what}: the waveform of bit {bit}')
        marks = ''.join(phase for phase in 'ABC' if pins[phase] == bit)
        check(page['labels'][bit] == f'bit{bit}' + (' ' + marks if marks else ''), f'{what}: {page["labels"][bit]}')


def check_fields(driver, line, expected):
    defaults = {'table-pin-a': '0', 'table-pin-b': '1', 'table-pin-c': '2', 'table-period': '42',
                'table-shift': '14', 'table-low': False, 'table-format': 'C'}
    fields = driver.execute_script("const $ = id => document.getElementById(id); $('table-args').value = arguments[0];"
                                   "$('table-args').dispatchEvent(new Event('input'));"
                                   "return [...document.querySelectorAll('#table-controls [id]')]"
                                   ".map(e => [e.id, e.type === 'checkbox' ? e.checked : e.value]);", line)
    check(dict(fields) == {**defaults, **expected}, f'the fields of {line!r}: {dict(fields)}')


READ_FONT = '''
const [from, to, fields, withSheet, done] = arguments, $ = id => document.getElementById(id);
for (const [id, value] of [['font-from', from], ['font-to', to]])
  $(id).value = value, $(id).dispatchEvent(new Event('change'));
for (const [id, value] of Object.entries(fields))
  if ($(id).value !== value) $(id).value = value, $(id).dispatchEvent(new Event('input'));
function sheet(canvas) {  // one character a pixel of the font, read at the middle of its square
  const scale = +canvas.dataset.scale, width = canvas.width;
  const data = canvas.getContext('2d').getImageData(0, 0, width || 1, canvas.height || 1).data;
  let bits = '';
  for (let y = scale >> 1; y < canvas.height; y += scale, bits += '\\n')
    for (let x = scale >> 1; x < width; x += scale) bits += data[4 * (y * width + x)] < 128 ? '1' : '0';
  return bits;
}
(function read(tries) {  // the picture to download is encoded after the rest: up to 5 s
  const shown = !$('font-results').hidden;
  if (shown && !$('font-sheet-download').getAttribute('href') && tries < 250) return setTimeout(read, 20, tries + 1);
  const out = {message: $('font-message').textContent, commands: $('font-commands').textContent, shown,
    before: sheet($('font-before')), after: sheet($('font-after'))};
  Promise.all(['font-download', 'font-c-download', 'font-sheet-download'].map($).map(a =>
    a.getAttribute('href') === null || (a.id === 'font-sheet-download' && !withSheet) ? null
    : fetch(a.href).then(r => r.arrayBuffer()).then(b => [a.download, [...new Uint8Array(b)]])))
    .then(links => { [out.raw, out.c, out.sheet] = links; done(out); });
})(0);
'''
FONT_FIELDS = {'font-first': '', 'font-count': '', 'font-c-name': 'font'}


def sheet(data):  # 16 glyphs a row, bit 7 leftmost, '1' for a set pixel: as the page must draw it
    def pixel(x, y):
        i = (y // 8 * 16 + x // 8) * 8 + y % 8
        return '1' if i < len(data) and data[i] & 0x80 >> x % 8 else '0'
    return ''.join(''.join(pixel(x, y) for x in range(128)) + '\n' for y in range(-(-len(data) // 128) * 8))


def sheet_pixels(data):  # the sheet to download as RGBA: black dots on white, transparent past the last byte
    def pixel(x, y):
        i = (y // 8 * 16 + x // 8) * 8 + y % 8
        return b'\0\0\0\0' if i >= len(data) else b'\0\0\0\xff' if data[i] & 0x80 >> x % 8 else b'\xff' * 4
    return b''.join(pixel(x, y) for y in range(-(-len(data) // 128) * 8) for x in range(128))


def png(width, rows):  # an RGB PNG of rows of (r, g, b) pixels
    chunk = lambda kind, data: struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\0' + b''.join(bytes(pixel) for pixel in row) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, len(rows), 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


def painted_sheet(data, ink, paper, odd=None):  # the sheet of `data` in two colours, one pixel `odd` in a third
    bits = sheet(data).split()
    rows = [[ink if bit == '1' else paper for bit in line] for line in bits]
    if odd:
        rows[0][0] = odd
    return png(128, rows)


@functools.cache
def glyphrot(data, runs):  # runs as the CMake functions give them, '+' between runs
    font = fresh_folder() / 'font.bin'
    font.write_bytes(data)
    for run in filter(None, runs.split('+')):
        subprocess.run([GLYPHROT, *run.split(), font], check=True)
    return font.read_bytes()


@functools.cache
def c_array(data, name):
    folder = fresh_folder()
    (folder / 'font.bin').write_bytes(data)
    subprocess.run(['cmake', f'-DINPUT={folder}/font.bin', f'-DOUTPUT={folder}/font.c', f'-DNAME={name}', '-P',
                    ROOT / 'cmake/firmware-tools-c-array.cmake'], check=True, capture_output=True)
    return (folder / 'font.c').read_bytes()


def c_values(text):  # the values between an array's braces, comments aside
    body = re.sub(r'/\*.*?\*/|//[^\n]*', ' ', text, flags=re.S)
    return bytes(int(v, 16) for v in re.findall(r'\b0[xX]([0-9A-Fa-f]{1,2})\b', body[body.index('{'):]))


def preprocessed_bytes(path):  # the C preprocessor's comments and directives, then each hex literal's digits
    code = subprocess.run(['gcc', '-E', '-P', '-fpreprocessed', '-fdirectives-only', path], capture_output=True,
                          text=True, check=True).stdout
    code = re.sub(r'(?m)^\s*#.*$', '', code)  # #pragma, passed on to the compiler
    code = re.sub(r'"(\\.|[^"\\\n])*"|\'(\\.|[^\'\\\n])*\'', ' ', code)
    digits = ''.join(d.rjust(2, '0') for d in re.findall(r'(?<![\w.])0[xX]([0-9A-Fa-f]*)', code))
    return bytes.fromhex(digits[:len(digits) // 2 * 2])


def sheet_rgba(png_bytes):  # ImageMagick's decoding of a PNG: its size and RGBA pixels
    size = subprocess.run(['identify', '-format', '%wx%h', 'png:-'], input=png_bytes, capture_output=True).stdout
    return size.decode(), subprocess.run(['convert', 'png:-', '-depth', '8', 'rgba:-'], input=png_bytes,
                                         capture_output=True).stdout


def cmake_runs(names):  # the runs of firmware_tools_font for every pair
    script = work / 'runs.cmake'
    script.write_text(f'cmake_minimum_required(VERSION 3.20)\ninclude({ROOT}/cmake/firmware-tools-functions.cmake)\n'
                      'foreach(from IN LISTS NAMES)\nforeach(to IN LISTS NAMES)\n_firmware_tools_runs(runs "${from}" '
                      '"${to}")\nmessage("${from}|${to}|${runs}")\nendforeach()\nendforeach()\n')
    lines = subprocess.run(['cmake', '-DNAMES=' + ';'.join(names), '-P', script], capture_output=True, text=True,
                           check=True).stderr.splitlines()
    return {tuple(line.split('|')[:2]): line.split('|')[2] for line in lines}


def upload(driver, path):
    driver.find_element(By.ID, 'font-file').send_keys(str(path))
    wait(driver, f"return document.getElementById('font-file').dataset.read === {path.name!r}")


def check_font(driver, row, runs):  # the page's sheet to download, of the first pair
    name, content, data, pairs, words, fields = row
    if content is not None:
        (work / name).write_bytes(content)
    upload(driver, work / name)
    fields, png_sheet = {**FONT_FIELDS, **fields}, None
    whole = not fields['font-first'] and not fields['font-count']
    for source, target in pairs:
        page = driver.execute_async_script(READ_FONT, source, target, fields, png_sheet is None)
        what = f'{name} from {source} to {target}'
        check(all(word in page['message'] for word in words) and (words or not page['message']),
              f'{what}: the message {page["message"]!r}')
        if data is None:
            check(not page['shown'] and page['before'] == page['after'] == '' and page['commands'] == '' and
                  page['raw'] is page['c'] is page['sheet'] is None, f'{what}: results of a font refused')
            continue
        expected = glyphrot(data, runs[source, target])
        check(page['before'] == sheet(data), f'{what}: the sheet before')
        check(page['after'] == sheet(glyphrot(expected, runs[target, 'as-stored'])), f'{what}: the sheet after')
        check(page['raw'] is not None and bytes(page['raw'][1]) == expected, f'{what}: the bytes')
        array_name, c_text = fields['font-c-name'], page['c'] and bytes(page['c'][1])
        if not re.fullmatch(r'[A-Za-z_]\w*', array_name) or array_name == 'int':
            check(c_text is None, f'{what}: a C array named {array_name!r}')
        elif whole:
            check(c_text == c_array(expected, array_name), f'{what}: the C array')
        else:
            check(c_text and c_values(c_text.decode()) == expected and f' {array_name}[' in c_text.decode(),
                  f'{what}: the C array of the range')
        check(f'FROM {source} TO {target}' in page['commands'], f'{what}: {page["commands"]!r}')
        png_sheet = png_sheet or (page['sheet'] and bytes(page['sheet'][1]))
        # The page's shell commands, run as written: from the file, or from its glyphs as .bin (all of them: rows
        # with a range are raw files), which they say how to get, by a recipe of doc/fonts.md or the page.
        folder, glyphs = fresh_folder(), Path(name.removesuffix('.gz')).with_suffix('.bin').name
        (folder / name).write_bytes(content)
        if glyphs != name:
            (folder / glyphs).write_bytes(data)
        recipes = re.findall(r'by the (\S+) recipe of doc/fonts.md', page['commands'])
        check((glyphs == name or f'\n# {glyphs}: ' in '\n' + page['commands']) and
              all(f'<!-- recipe {recipe} -->' in (ROOT / 'doc/fonts.md').read_text() for recipe in recipes),
              f'{what}: the commands do not say how to get {glyphs}: {page["commands"]!r}')
        ran = subprocess.run(['bash', '-euo', 'pipefail', '-c', page['commands'].split('\n\n')[0]], cwd=folder,
                             env={**os.environ, 'PATH': f'{GLYPHROT.parent}:{os.environ["PATH"]}'}, capture_output=True)
        output = folder / page['raw'][0]
        check(ran.returncode == 0 and output.exists() and output.read_bytes() == expected,
              f'{what}: the commands give other bytes {ran.stderr!r}')
    if png_sheet:
        check(sheet_rgba(png_sheet) == (f'128x{len(sheet(data).split())}', sheet_pixels(data)),
              f'{name}: the picture to download is not the glyphs, one pixel a dot')
    return png_sheet


def wait(driver, condition):  # up to 5 s
    check(any(driver.execute_script(condition) or time.sleep(0.05) for _ in range(100)), f'in vain: {condition}')


key = lambda driver, *keys: ActionChains(driver).send_keys(*keys).perform()


def tab_to(driver, element_id):
    check(any(key(driver, Keys.TAB) or driver.execute_script('return document.activeElement.id') == element_id
              for _ in range(40)), f'Tab does not reach #{element_id}')


def check_keyboard(driver, font):
    upload(driver, font)
    driver.execute_script('document.activeElement.blur(); window.scrollTo(0, 0)')
    value = lambda element_id: driver.find_element(By.ID, element_id).get_property('value')
    text = lambda element_id: driver.find_element(By.ID, element_id).get_property('textContent')
    tab_to(driver, 'font-to')
    before = value('font-to')
    key(driver, Keys.ARROW_DOWN)
    check(value('font-to') != before and f'TO {value("font-to")}' in text('font-commands'), 'ArrowDown on TO')
    tab_to(driver, 'font-count')
    key(driver, '0x10')
    check('16 of the font' in text('font-message'), 'a count typed')
    tab_to(driver, 'table-args')
    ActionChains(driver).key_down(Keys.CONTROL).send_keys('a').key_up(Keys.CONTROL).perform()
    key(driver, '-P40 -S13 -OCkeys.c', Keys.ENTER)
    check(text('table-messages') == 'Warning - period / 6 give not WHOLE number', 'Enter in the arguments runs')
    tab_to(driver, 'table-period')
    key(driver, Keys.ARROW_UP)
    check(value('table-args') == '-P42 -S13 -OCkeys.c' and text('table-status') == '0',
          'ArrowUp on the period sets it in the line and runs')
    tab_to(driver, 'table-run')
    key(driver, Keys.SPACE)
    check(driver.find_element(By.ID, 'table-download').get_attribute('download') == 'keys.c', 'Space on Run')


def load(driver):
    driver.get(PAGE.as_uri())
    wait(driver, 'return document.body.dataset.ready')


def check_screenshot(driver, cp850, update):  # the page as loaded, with the cp850 font converted for an SSD1306
    load(driver)
    check(driver.execute_script("return document.getElementById('font-results').getBoundingClientRect().height") == 0,
          'results shown before a font is loaded')
    upload(driver, cp850)
    driver.execute_async_script(READ_FONT, 'as-stored', 'ssd1306', FONT_FIELDS, False)
    driver.execute_script('document.activeElement.blur()')
    height = driver.execute_script('return document.documentElement.scrollHeight')
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': 1000, 'height': height, 'deviceScaleFactor': 1, 'mobile': False})
    shot = driver.get_screenshot_as_png()
    if update:
        SCREENSHOT.write_bytes(shot)
    check(SCREENSHOT.exists() and SCREENSHOT.read_bytes() == shot,
          f'{SCREENSHOT} is not what the page shows: {sys.argv[0]} --update-screenshot writes it')


# C headers whose comments, directives and literals need the preprocessor's own rules: a comment across lines in a
# #define, %:, splices (blanks before the line end, in a // comment, in /\*), a comment before #, CR LF, literals in
# strings and identifiers, # as a token; and a header with no literal.
ODD_HEADERS = [
    '#define A 0x01 /* a\nb */ 0x02\n0x10, 0x20,\n', '%:define A 0x01\n  %:  define B 0x02\n0x10,\n',
    '#define A 0x01 \\\n 0x02 \\  \n0x03\n0x10 // c \\\n0x20\n0x30\n',
    '/* a\nb */ # define A 0x01\n0x10 /* a\nb */ #define B 0x20\n', '/\\\n* 0x01 */ 0x10 /\\\n/ 0x02\n0x20\n',
    '#define A 0x01 \\\r\n0x02\r\n0x10,0x20\r\n',
    'const char* s = "0x01 /* 0x02"; 0x10, /* */ glyph0x03, \'x\', 0x20u, 0X3f, 0x4\n',
    '\t#\tpragma 0x01\n\f#define B 0x02\n\v # \n0x10 # 0x20\n',
]


def fonts(every_pair):  # name, content, the bytes the page takes from it (None: none), pairs, words, fields
    letter_f = (ROOT / 'glyphrot/tests/golden/letter_f.bin').read_bytes()
    psf = gzip.decompress((CONSOLE_FONTS / 'cp850-8x8.psf.gz').read_bytes())
    cp850 = psf[4:4 + 256 * 8]
    cyrillic = (CONSOLE_FONTS / 'Cyr_a8x8.psf.gz').read_bytes()  # PSF1 with a Unicode table
    psf2 = struct.pack('<8I', 0x864ab572, 0, 32, 1, 256, 8, 8, 8) + cp850 + b'\x41\xff'  # a table: U+0041 and its end
    one = [('as-stored', 'clockwise')]
    yellow, navy = (240, 224, 64), (32, 48, 144)
    folder = fresh_folder()  # the guide's picture recipe, one pixel a dot: grey levels, white cells after the glyphs
    (folder / 'font.bin').write_bytes(letter_f)
    subprocess.run(['bash', '-c', "{ printf 'P4 8 8\\n'; cat font.bin; } | convert pbm:- -crop 8x8 +repage miff:- |"
                    "montage - -tile 16x -geometry +0+0 -background white -strip sheet.png"], cwd=folder, check=True)
    rows = [
        ('letter_f.bin', letter_f, letter_f, every_pair, [], {}),
        ('cp850-8x8.bin', cp850, cp850, every_pair, [], {}),
        ('partial.bin', letter_f + b'\x7e\x40\x40', letter_f + b'\x7e\x40\x40',
         [('as-stored', 'clockwise'), ('left-right', 'other-diagonal')], ['partial', '3 rows'], {}),
        ('cp850-range.bin', cp850, cp850[32 * 8:128 * 8], [('as-stored', 'ssd1306'), ('lsb-left', 'as-stored')],
         ['Glyphs 32 to 127 (0x20 to 0x7F), 96 of'],
         {'font-first': '0x20', 'font-count': '96', 'font-c-name': 'ascii'}),
        ('cp850-tail.bin', cp850, cp850[250 * 8:], one, ['Glyphs 250 to 255'], {'font-first': ' 250 '}),
        ('cp850-partial.bin', cp850 + b'\x7e\x40\x40', cp850[250 * 8:] + b'\x7e\x40\x40',
         [('as-stored', 'other-diagonal'), ('ssd1306', 'clockwise')], ['partial', 'Glyphs 250 to 256'],
         {'font-first': '250', 'font-count': '7'}),
        ('cp850-past.bin', cp850, None, one, ['256 glyphs', 'no glyph 300'], {'font-first': '300'}),
        ('cp850-over.bin', cp850, None, one, ['would end at 259'], {'font-first': '250', 'font-count': '10'}),
        ('cp850-none.bin', cp850, None, one, ['count of 0'], {'font-count': '0'}),
        ('cp850-word.bin', cp850, None, one, ['"x20" is not one'], {'font-first': 'x20'}),
        ('glyphs-name.bin', letter_f, letter_f, one, [], {'font-c-name': 'glyphs_8x8'}),
        ('digit-name.bin', letter_f, letter_f, one, ['C identifier', '"1x"'], {'font-c-name': '1x'}),
        ('keyword-name.bin', letter_f, letter_f, one, ['keyword'], {'font-c-name': 'int'}),
        ('huge.bin', None, None, one, ['100 MiB', 'up to 1 MiB'], {}),  # after a font shown: its results go
        ('empty.bin', b'', None, one, ['empty'], {}),
        ('many.bin', bytes(70000), None, one, ['8750 glyphs', 'up to 8192'], {}),
        ('cp850-8x8.psf', psf, cp850, [('as-stored', 'counter-clockwise')], ['PSF1', '256 glyphs of 8x8 taken.'], {}),
        ('Cyr_a8x8.psf.gz', cyrillic, gzip.decompress(cyrillic)[4:4 + 256 * 8], one,
         ['gzip', 'PSF1', '256 glyphs', 'Unicode table left out'], {}),
        ('psf2.psf.gz', gzip.compress(psf2), cp850, one, ['PSF2', '256 glyphs', 'Unicode table left out'], {}),
        ('cp850-8x16.psf.gz', (CONSOLE_FONTS / 'cp850-8x16.psf.gz').read_bytes(), None, one, ['PSF1', '8x16'], {}),
        ('cut.psf', psf2[:1000], None, one, ['PSF2', 'cut short'], {}),
        ('broken.bin.gz', gzip.compress(letter_f)[:-12], None, one, ['gzip'], {}),
        ('zeros.bin.gz', gzip.compress(bytes(2 << 20)), None, one, ['more than 1 MiB'], {}),
        ('twice.bin.gz', gzip.compress(gzip.compress(letter_f)), None, one, ['gzip data again'], {}),
        ('preview.png', (ROOT / 'doc/images/preview.png').read_bytes(), None, one, ['PNG', '512 x 32'], {}),
        ('recipe.png', (folder / 'sheet.png').read_bytes(), letter_f + bytes(120), one, ['PNG', '16 glyphs'], {}),
        ('painted.png', painted_sheet(letter_f, navy, yellow), letter_f + bytes(120), one, ['#203090 the dots'], {}),
        ('three.png', painted_sheet(letter_f, navy, yellow, (255, 0, 0)), None, one, ['3 colours'], {}),
        ('no-literal.h', b'int font; /* 0x10 */\n#define A 0x20\n', None, one, ['no hex literal'], {}),
    ] + [(f'odd-{i}.h', text.encode(), None, one, ['C header'], {}) for i, text in enumerate(ODD_HEADERS)]
    header = ROOT.parent / 'shared/fonts/font8x8_basic.h'
    if not header.exists():
        print(f'skipped: the header font row, {header} is not there')
        return rows
    folder = fresh_folder()  # its bytes by the header-in recipe of doc/fonts.md
    shutil.copy(header, folder / 'font.h')
    recipe = subprocess.run(['bash', ROOT / '.ci/readme-block', 'recipe', 'header-in'], capture_output=True,
                            text=True, check=True).stdout
    subprocess.run(['bash', '-euo', 'pipefail', '-c', recipe], cwd=folder, check=True)
    return rows + [(header.name, header.read_bytes(), (folder / 'font.bin').read_bytes(),
                    [('lsb-left', 'ssd1306'), ('mono-hmsb', 'as-stored')], ['C header'], {})]


def main():
    start, rows = time.monotonic(), len(TABLE_ROWS) + len(FIELDS_OF_LINES) + len(FIELD_EDITS)
    for program in (PAGE, TRIVOLTA, GLYPHROT):
        if not program.exists():
            sys.exit(f'{program} is missing: cmake --workflow --preset web, and cmake --preset default && '
                     'cmake --build --preset default --target trivolta glyphrot')
    options = webdriver.ChromeOptions()
    for argument in ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--no-first-run',
                     '--disable-component-update', '--disable-sync', '--window-size=1000,900',
                     f'--user-data-dir={work}/chromium']:
        options.add_argument(argument)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    driver.set_script_timeout(60)
    try:
        load(driver)
        for line in TABLE_ROWS:
            check_table(driver, line)
        for line, expected in FIELDS_OF_LINES:
            check_fields(driver, line, expected)
        for typed, field, value, line in FIELD_EDITS:
            check_table(driver, line, field, value, typed)
        offered = lambda select: [option.get_property('value')
                                  for option in driver.find_elements(By.CSS_SELECTOR, f'#{select} option')]
        names = offered('font-from')
        table = [line.split('|')[0] for line in (ROOT / 'glyphrot/orientations.table').read_text().splitlines()
                 if line and not line.startswith('#')]
        check(names == table and names == offered('font-to'), f'the orientations offered: {names}')
        runs = cmake_runs(names)
        for name, content, data, pairs, words, fields in fonts([(source, target) for source in names
                                                                 for target in names]):
            if name.startswith('odd-'):  # the C preprocessor's reading
                (work / name).write_bytes(content)
                data = preprocessed_bytes(work / name)
            if content is None:  # 100 MiB that the page must not read: a file with a hole
                with open(work / name, 'wb') as huge:
                    huge.truncate(100 << 20)
            png_sheet = check_font(driver, (name, content, data, pairs, words, fields), runs)
            rows += len(pairs)
            if png_sheet and name in ('partial.bin', 'cp850-range.bin', 'Cyr_a8x8.psf.gz'):  # loaded back
                check_font(driver, (f'{name}-sheet.png', png_sheet, data, one_pair, ['PNG'], {}), runs)
                rows += 1
        check_keyboard(driver, work / 'cp850-8x8.bin')
        check_screenshot(driver, work / 'cp850-8x8.bin', '--update-screenshot' in sys.argv)
        logs = driver.get_log('browser')  # of both loads of the page
        check(not logs, f'the browser console: {logs}')
        fetched = driver.execute_script("return performance.getEntriesByType('resource').map(e => e.name)"
                                        ".filter(name => !/^(data|blob):/.test(name))")
        check(not fetched, f'the page fetched {fetched}')
    finally:
        driver.quit()
        shutil.rmtree(work, ignore_errors=True)
    print(f'page test: {rows} rows, {len(failures)} failures, {time.monotonic() - start:.0f} s')
    sys.exit(1 if failures else 0)


one_pair = [('as-stored', 'as-stored')]

if __name__ == '__main__':
    main()
