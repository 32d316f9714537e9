#!/usr/bin/python3
# The page (build/web/index.html) from file:// in headless Chromium, driven through its element ids against the
# native programs of build/default: trivolta's status, messages and file for each argument list; every pair of
# orientations on two fonts against glyphrot's runs; a C header, a partial glyph, an empty file, a picture, a PSF
# font; the keyboard alone; the browser's console; the README's screenshot of the page.
#   /usr/bin/python3 web/tests/page_test.py [--update-screenshot]
import functools, gzip, re, shlex, shutil, subprocess, sys, tempfile, time
from pathlib import Path
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver import ActionChains, Keys
from selenium.webdriver.common.by import By

ROOT = Path(__file__).resolve().parents[2]
PAGE, SCREENSHOT = ROOT / 'build/web/index.html', ROOT / 'doc/images/web-page.png'
TRIVOLTA, GLYPHROT = ROOT / 'build/default/trivolta/trivolta', ROOT / 'build/default/glyphrot/glyphrot'
work = Path(tempfile.mkdtemp(prefix='page-test.'))
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what)


fresh_folder = lambda: Path(tempfile.mkdtemp(dir=work))


# trivolta's arguments as typed: none, help, each error, a warning, names
# and numbers narrowed, quotes, a folder that is not there, the console.
TABLE_ROWS = [
    '', '--help', '-h', '--version', '--help -P48', '-A0 -B1 -C2 -P48 -S16 -OAtrivolta.asm', '-P50',
    '-P43', '-A3 -B3', '-P42 -S15', '-A1 -B1 -P7 -S5', '-B8 -C8',
    '-OAphases.asm -P70000', '-A300 -OCpins.c', '-P99999999999', '-A4 -B5 -C6 -U0 -oalow.asm',
    '-A7 -B3 -C9 -U0 -OC', "-OC'my table.c' -mS", '-OC"a \\"b\\".c"  # a comment', '-OCsub/x.c', '-OC/dev/stdout',
]
READ_TABLE = '''
const [line, done] = arguments, $ = id => document.getElementById(id);
$('table-args').value = line, $('table-run').click();
const link = $('table-download'), svg = $('table-waveform');
const out = {status: $('table-status').textContent, messages: $('table-messages').textContent,
  text: $('table-text').textContent, name: link.getAttribute('download'), href: link.getAttribute('href'),
  labels: [...svg.querySelectorAll('text')].map(t => t.textContent).filter(t => t.startsWith('bit')),
  lanes: [...svg.querySelectorAll('polyline')].map(p => [p.getAttribute('points'), p.dataset.low])};
if (!out.href) done(out);
else fetch(out.href).then(r => r.arrayBuffer()).then(b => { out.bytes = [...new Uint8Array(b)]; done(out); });
'''


def port_bytes(text):  # the values of a C table (0xfb, 00) or of DB lines (fbh)
    lines = [line.split('*/')[-1].replace('DB', '') for line in text.splitlines()]
    return [int(v.strip().removeprefix('0x').removesuffix('h'), 16) for line in lines for v in line.split(',')
            if re.fullmatch(r'\s*(0x[0-9a-f]{2}|00|[0-9a-f]{1,2}h)\s*', v)]


def check_table(driver, line):
    folder = fresh_folder()
    native = subprocess.run([TRIVOLTA, *shlex.split(line, comments=True)], cwd=folder, capture_output=True)
    files, page, what = sorted(folder.iterdir()), driver.execute_async_script(READ_TABLE, line), f'trivolta {line!r}'
    check(page['status'] == str(native.returncode), f'{what}: status {page["status"]}, native {native.returncode}')
    check(page['messages'] == native.stdout.decode(), f'{what}: messages {page["messages"]!r}')
    if not files:
        return check(page['href'] is None and page['lanes'] == [], f'{what}: a link or waveform, but no file')
    written = files[0].read_bytes()
    check(page['name'] == files[0].name and bytes(page.get('bytes', [])) == written,
          f'{what}: the link is {page["name"]!r}, not {files[0].name!r} with its bytes')
    check(page['text'] == written.decode(), f'{what}: the text is not the file')
    table, pins = port_bytes(written.decode()), {'A': 0, 'B': 1, 'C': 2}
    for option, value in re.findall(r'(?i)-([abc])(\d+)', line):
        pins[option.upper()] = int(value) % 256
    check(len(page['lanes']) == len(page['labels']) == 8, f'{what}: the waveform has not eight bits')
    for bit, (points, low) in enumerate(page['lanes']):
        levels = [int(point.split(',')[1] != low) for point in points.split()[::2]]
        check(levels == [entry >> bit & 1 for entry in table], f'{what}: the waveform of bit {bit}')
        marks = ''.join(phase for phase in 'ABC' if pins[phase] == bit)
        check(page['labels'][bit] == f'bit{bit}' + (' ' + marks if marks else ''), f'{what}: {page["labels"][bit]}')


READ_FONT = '''
const [from, to, done] = arguments, $ = id => document.getElementById(id);
for (const [id, value] of [['font-from', from], ['font-to', to]])
  $(id).value = value, $(id).dispatchEvent(new Event('change'));
function sheet(canvas) {  // one character a pixel of the font, read at the middle of its square
  const scale = +canvas.dataset.scale, width = canvas.width;
  const data = canvas.getContext('2d').getImageData(0, 0, width, canvas.height || 1).data;
  let bits = '';
  for (let y = scale >> 1; y < canvas.height; y += scale, bits += '\\n')
    for (let x = scale >> 1; x < width; x += scale) bits += data[4 * (y * width + x)] < 128 ? '1' : '0';
  return bits;
}
const out = {message: $('font-message').textContent, commands: $('font-commands').textContent,
  before: sheet($('font-before')), after: sheet($('font-after'))};
Promise.all(['font-download', 'font-c-download'].map($).map(a => a.getAttribute('href') === null ? null
  : fetch(a.href).then(r => r.arrayBuffer()).then(b => [a.download, [...new Uint8Array(b)]])))
  .then(links => { [out.raw, out.c] = links; done(out); });
'''


def sheet(data):  # 16 glyphs a row, bit 7 leftmost, '1' for a set pixel: as the page must draw it
    def pixel(x, y):
        i = (y // 8 * 16 + x // 8) * 8 + y % 8
        return '1' if i < len(data) and data[i] & 0x80 >> x % 8 else '0'
    return ''.join(''.join(pixel(x, y) for x in range(128)) + '\n' for y in range(-(-len(data) // 128) * 8))


@functools.cache
def glyphrot(data, runs):  # runs as the CMake functions give them, '+' between runs
    font = fresh_folder() / 'font.bin'
    font.write_bytes(data)
    for run in filter(None, runs.split('+')):
        subprocess.run([GLYPHROT, *run.split(), font], check=True)
    return font.read_bytes()


@functools.cache
def c_array(data):
    folder = fresh_folder()
    (folder / 'font.bin').write_bytes(data)
    subprocess.run(['cmake', f'-DINPUT={folder}/font.bin', f'-DOUTPUT={folder}/font.c', '-DNAME=Font', '-P',
                    ROOT / 'cmake/firmware-tools-c-array.cmake'], check=True, capture_output=True)
    return (folder / 'font.c').read_bytes()


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
    wait(driver, f"return document.getElementById('font-commands').textContent.includes({path.name!r})")


def check_font(driver, path, data, pairs, words, runs):  # path: the file the page reads
    upload(driver, path)
    name = path.name
    for source, target in pairs:
        what, page = f'{name} from {source} to {target}', driver.execute_async_script(READ_FONT, source, target)
        expected = glyphrot(data, runs[source, target])
        check(all(word in page['message'] for word in words) and (words or not page['message']),
              f'{what}: the message {page["message"]!r}')
        check(page['before'] == sheet(data), f'{what}: the sheet before')
        check(page['after'] == sheet(glyphrot(expected, runs[target, 'as-stored'])), f'{what}: the sheet after')
        if not data:
            check(page['raw'] is None and page['c'] is None, f'{what}: links to an empty font')
            continue
        check(bytes(page['raw'][1]) == expected, f'{what}: the bytes')
        check(bytes(page['c'][1]) == c_array(expected), f'{what}: the C array')
        check(f'FROM {source} TO {target}' in page['commands'], f'{what}: {page["commands"]!r}')
        folder = fresh_folder()  # the page's commands, run as written; a header's bytes are saved as .bin
        for input_name in {name, Path(name).with_suffix('.bin').name}:
            (folder / input_name).write_bytes(data)
        for command in [shlex.split(line, comments=True) for line in page['commands'].splitlines()]:
            if command and command[0] in ('glyphrot', 'cp'):
                subprocess.run([GLYPHROT if command[0] == 'glyphrot' else 'cp', *command[1:]], cwd=folder, check=True)
        check((folder / page['raw'][0]).read_bytes() == expected, f'{what}: the commands give other bytes')


def wait(driver, condition):  # up to 5 s
    check(any(driver.execute_script(condition) or time.sleep(0.05) for _ in range(100)), f'in vain: {condition}')


key = lambda driver, *keys: ActionChains(driver).send_keys(*keys).perform()


def tab_to(driver, element_id):
    check(any(key(driver, Keys.TAB) or driver.execute_script('return document.activeElement.id') == element_id
              for _ in range(40)), f'Tab does not reach #{element_id}')


def check_keyboard(driver):
    driver.execute_script('document.activeElement.blur(); window.scrollTo(0, 0)')
    value = lambda element_id: driver.find_element(By.ID, element_id).get_property('value')
    text = lambda element_id: driver.find_element(By.ID, element_id).get_property('textContent')
    tab_to(driver, 'font-to')
    before = value('font-to')
    key(driver, Keys.ARROW_DOWN)
    check(value('font-to') != before and f'TO {value("font-to")}' in text('font-commands'), 'ArrowDown on TO')
    tab_to(driver, 'table-args')
    ActionChains(driver).key_down(Keys.CONTROL).send_keys('a').key_up(Keys.CONTROL).perform()
    key(driver, '-P40 -S13 -OCkeys.c', Keys.ENTER)
    check(text('table-messages') == 'Warning - period / 6 give not WHOLE number', 'Enter in the arguments runs')
    tab_to(driver, 'table-period')
    key(driver, Keys.ARROW_UP)
    check('-P50 ' in value('table-args') and text('table-status') == '0', 'ArrowUp on the period fills and runs')
    tab_to(driver, 'table-run')
    key(driver, Keys.SPACE)
    check(driver.find_element(By.ID, 'table-download').get_attribute('download') == 'trivolta.asm', 'Space on Run')


def load(driver):
    driver.get(PAGE.as_uri())
    wait(driver, 'return document.body.dataset.ready')


def check_screenshot(driver, cp850, update):  # the page as loaded, with the cp850 font converted for an SSD1306
    load(driver)
    upload(driver, cp850)
    driver.execute_async_script(READ_FONT, 'as-stored', 'ssd1306')
    driver.execute_script('document.activeElement.blur()')
    height = driver.execute_script('return document.documentElement.scrollHeight')
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': 1000, 'height': height, 'deviceScaleFactor': 1, 'mobile': False})
    shot = driver.get_screenshot_as_png()
    if update:
        SCREENSHOT.write_bytes(shot)
    check(SCREENSHOT.exists() and SCREENSHOT.read_bytes() == shot,
          f'{SCREENSHOT} is not what the page shows: {sys.argv[0]} --update-screenshot writes it')


def fonts(every_pair):  # name, content, the bytes the page must read from it, pairs, words of the message
    letter_f = (ROOT / 'glyphrot/tests/golden/letter_f.bin').read_bytes()
    psf = gzip.decompress(Path('/usr/share/consolefonts/cp850-8x8.psf.gz').read_bytes())
    cp850 = psf[4:4 + (512 if psf[2] & 1 else 256) * 8]  # the PSF recipe's cut of a PSF1 font
    rows = [(name, data, data, pairs, words) for name, data, pairs, words in [
        ('letter_f.bin', letter_f, every_pair, []), ('cp850-8x8.bin', cp850, every_pair, []),
        ('partial.bin', letter_f + b'\x7e\x40\x40', [('as-stored', 'clockwise'), ('left-right', 'other-diagonal')],
         ['partial', '3 rows']), ('empty.bin', b'', [('as-stored', 'clockwise')], ['empty']),
        ('preview.png', (ROOT / 'doc/images/preview.png').read_bytes(), [('as-stored', 'main-diagonal')], ['PNG']),
        ('cp850-8x8.psf', psf, [('as-stored', 'counter-clockwise')], ['PSF'])]]
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
                    [('lsb-left', 'ssd1306'), ('mono-hmsb', 'as-stored')], ['C header'])]


def main():
    start, rows = time.monotonic(), len(TABLE_ROWS)
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
    try:
        load(driver)
        for line in TABLE_ROWS:
            check_table(driver, line)
        offered = lambda select: [option.get_property('value')
                                  for option in driver.find_elements(By.CSS_SELECTOR, f'#{select} option')]
        names = offered('font-from')
        table = [line.split('|')[0] for line in (ROOT / 'glyphrot/orientations.table').read_text().splitlines()
                 if line and not line.startswith('#')]
        check(names == table and names == offered('font-to'), f'the orientations offered: {names}')
        runs = cmake_runs(names)
        for name, content, data, pairs, words in fonts([(source, target) for source in names for target in names]):
            (work / name).write_bytes(content)
            check_font(driver, work / name, data, pairs, words, runs)
            rows += len(pairs)
        check_keyboard(driver)
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


if __name__ == '__main__':
    main()
