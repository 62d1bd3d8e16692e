'use strict';
// The page around the tool. Every answer comes from the d88unpack program
// itself, built as a WebAssembly module: the page writes the image into the
// module's in-memory file system, runs the program's main with a command
// line, as a user would type it, and shows what the program printed and
// wrote. So the listing, the notes, the map, the extracted files and the
// repacked image are those of the command line, byte for byte.

const state = {
  module: null,
  stdout: null,
  stderr: null,
  name: '',          // the image's file name, as the commands name it
  bytes: null,       // the image as opened (or as last saved)
  disks: [],         // the disks of the --test document
  extractions: {},   // extraction folders made so far, by kind
  edits: new Map(),  // disk number -> the changes asked for on that disk
  pendingReplace: null,
  commands: [],      // the command lines of the last edit, for the tests
  timings: {},
};

// ---- Running the tool ----------------------------------------------------

// A growing byte buffer that collects one of the program's streams.
class ByteSink {
  constructor() { this.data = new Uint8Array(1 << 16); this.length = 0; }
  reset() { this.length = 0; }
  append(chunk) {
    if (this.length + chunk.length > this.data.length) {
      let size = this.data.length * 2;
      while (size < this.length + chunk.length) size *= 2;
      const bigger = new Uint8Array(size);
      bigger.set(this.data.subarray(0, this.length));
      this.data = bigger;
    }
    this.data.set(chunk, this.length);
    this.length += chunk.length;
  }
  bytes() { return this.data.slice(0, this.length); }
}

const utf8 = new TextDecoder('utf-8');

// A device that hands every write to the sink whole: the program sees a
// file, not a terminal, and its output arrives unchanged, a block at a time.
function sinkDevice(fs, minor, sink) {
  const device = fs.makedev(64, minor);
  fs.registerDevice(device, {
    open(stream) { stream.seekable = false; },
    close() {},
    read() { return 0; },
    write(stream, buffer, offset, length) {
      sink.append(buffer.subarray(offset, offset + length));
      return length;
    },
  });
  const path = `/dev/d88unpack-${minor}`;
  fs.mkdev(path, device);
  return path;
}

// Standard output and error become the two sinks: each descriptor is closed
// and opened again on its device, which takes the lowest free number.
async function startTool() {
  state.stdout = new ByteSink();
  state.stderr = new ByteSink();
  state.module = await createD88unpack({ thisProgram: 'd88unpack' });
  const fs = state.module.FS;
  for (const [descriptor, sink] of [[1, state.stdout], [2, state.stderr]]) {
    const path = sinkDevice(fs, descriptor, sink);
    fs.close(fs.streams[descriptor]);
    if (fs.open(path, 'w').fd !== descriptor) throw new Error('standard streams not rewired');
  }
}

// Runs d88unpack with the arguments in the folder; returns its exit status
// and what it printed.
function runTool(folder, args) {
  const fs = state.module.FS;
  fs.chdir(folder);
  state.stdout.reset();
  state.stderr.reset();
  const status = state.module.callMain(args);
  const out = state.stdout.bytes();
  return { status, out, text: utf8.decode(out),
           err: utf8.decode(state.stderr.bytes()) };
}

function shownCommand(args) {
  const quoted = args.map((a) => (/^[\w.=,\/-]+$/.test(a) ? a : `'${a}'`));
  return `$ d88unpack ${quoted.join(' ')}`;
}

// ---- The in-memory file system ------------------------------------------

function removeTree(path) {
  const fs = state.module.FS;
  if (!fs.analyzePath(path).exists) return;
  if (!fs.isDir(fs.stat(path).mode)) {
    fs.unlink(path);
    return;
  }
  for (const name of fs.readdir(path)) {
    if (name !== '.' && name !== '..') removeTree(`${path}/${name}`);
  }
  fs.rmdir(path);
}

// The folder may be the one the last run worked in; the file system lets
// no one remove the folder it stands in.
function freshFolder(path) {
  state.module.FS.chdir('/');
  removeTree(path);
  state.module.FS.mkdir(path);
}

// The files under path as nested objects, folders inside folders, as the
// zip library takes them.
function readTree(path) {
  const fs = state.module.FS;
  const tree = {};
  for (const name of fs.readdir(path).sort()) {
    if (name === '.' || name === '..') continue;
    const child = `${path}/${name}`;
    tree[name] = fs.isDir(fs.stat(child).mode) ? readTree(child)
                                                : fs.readFile(child);
  }
  return tree;
}

// ---- Opening an image ----------------------------------------------------

function folderOf(number) { return String(number).padStart(3, '0'); }

function hex2(value) { return value.toString(16).padStart(2, '0'); }

function rawBytes(hex) {
  return (hex.match(/../g) || []).join(' ').toUpperCase();
}

// Every image is opened from /image under its own file name, so that the
// program's messages name it as they would on the command line.
function loadImage(name, bytes) {
  const fs = state.module.FS;
  freshFolder('/image');
  fs.writeFile(`/image/${name}`, bytes);
  for (const kind of Object.keys(state.extractions)) {
    removeTree(`/extract-${kind}`);
  }
  state.extractions = {};
  state.edits = new Map();
  state.name = name;
  state.bytes = bytes;
  const test = runTool('/image', ['--json', '--test', '--unicode-names', '--', name]);
  const info = runTool('/image', ['--info', '--unicode-names', '--', name]);
  let document = null;
  try {
    document = JSON.parse(test.text);
  } catch (error) {
    document = null;
  }
  return { test, info, document };
}

function infoBlocks(text) {
  const blocks = new Map();
  for (const block of text.split(/\n(?=Disk \d{3})/)) {
    const match = /^\n?Disk (\d{3})/.exec(block);
    if (match) blocks.set(Number(match[1]), block.replace(/^\n/, ''));
  }
  return blocks;
}

// The notes on standard error belong to a disk by the folder they name
// ("000/GAME: ...", "disk 000: ..."); the rest are the image's.
function sortNotes(text) {
  const notes = { image: [], disks: new Map() };
  for (const line of text.split('\n')) {
    if (line === '') continue;
    const match = /^d88unpack: (?:(\d{3})\/|disk (\d{3}):)/.exec(line);
    if (!match) {
      notes.image.push(line);
      continue;
    }
    const number = Number(match[1] || match[2]);
    if (!notes.disks.has(number)) notes.disks.set(number, []);
    notes.disks.get(number).push(line);
  }
  return notes;
}

function setStatus(text) { document.getElementById('status').textContent = text; }

function openBytes(name, bytes) {
  const { test, info, document: doc } = loadImage(name, bytes);
  const notes = sortNotes(test.err);
  if (doc === null) {
    document.getElementById('image').hidden = true;
    setStatus(test.err.trim() || 'The tool gave no answer.');
    return false;
  }
  state.disks = doc.disks;
  renderImage(notes, infoBlocks(info.text));
  const count = doc.disks.reduce((sum, disk) => sum + disk.entries.length, 0);
  setStatus(`${name}: ${doc.disks.length} disk${doc.disks.length === 1 ? '' : 's'}, ` +
            `${count} entr${count === 1 ? 'y' : 'ies'}` +
            (notes.image.length ? ` — ${notes.image.join(' ')}` : ''));
  return true;
}

async function openFile(file) {
  if (!file) return;
  setStatus(`Opening ${file.name}…`);
  const started = performance.now();
  try {
    openBytes(file.name, new Uint8Array(await file.arrayBuffer()));
    // Until the listing is on the screen: the next frame has drawn it.
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    state.timings.openToListing = performance.now() - started;
  } catch (error) {
    setStatus(`${file.name} could not be opened: ${error}`);
    throw error;
  }
}

// ---- Showing an image ----------------------------------------------------

function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

const stateWords = {
  complete: 'whole',
  partial: 'broken',
  missing: 'broken: nothing to read',
  bad_status: 'damaged',
  not_a_file: 'no file',
};

function place(address) {
  return `${hex2(address.track)} ${hex2(address.sector)}`;
}

// A row is kept small: an image of 64 disks has 8,192 of them.
function entryRow(entry, index) {
  const readable = entry.state !== 'missing' && entry.state !== 'not_a_file';
  const name = escapeHtml(entry.name.text);
  const raw = `raw bytes: ${rawBytes(entry.name.hex)}`;
  const nameCell = readable
    ? `<button type="button" class="entry" data-action="download" title="${raw}">${name}</button>`
    : `<span class="entry" title="${raw}">${name}</span>`;
  return `<tr data-entry="${index}"><td>${nameCell}</td><td>${place(entry.start)}</td>` +
    `<td>${place(entry.end)}</td><td class="size">${entry.size}</td>` +
    `<td class="state ${entry.state}">${stateWords[entry.state] || entry.state}</td>` +
    `<td><button type="button" data-action="edit" aria-label="Change ${name}">Change…</button></td></tr>`;
}

function diskForms(disk) {
  return `<div class="actions">` +
    `<button type="button" data-action="zip-disk">Download this disk's files (.zip)</button>` +
    `<button type="button" data-action="add">Add files…</button></div>` +
    `<form class="inline" data-form="disk-name"><label>Disk name <input name="name" ` +
    `size="16" value="${escapeHtml(disk.name.text)}"></label> <button>Set</button></form>` +
    `<form class="inline" data-form="protect"><label>Write protection <select name="protect">` +
    `<option value="on"${disk.write_protected ? ' selected' : ''}>on</option>` +
    `<option value="off"${disk.write_protected ? '' : ' selected'}>off</option></select>` +
    `</label> <button>Set</button></form>`;
}

// What can be done to one entry, shown under the listing of its disk when
// its "Change…" button is pressed.
function entryPanel(number, index) {
  const entry = state.disks.find((d) => d.number === number).entries[index];
  const name = escapeHtml(entry.name.text);
  const removed = editsOf(number).remove.has(entry.name.text);
  return `<div class="entry-panel" data-entry="${index}" tabindex="-1">` +
    `<h4>${folderOf(number)}/${name}</h4><div class="actions">` +
    `<button type="button" data-action="replace">Replace with a file…</button>` +
    `<button type="button" data-action="remove" aria-pressed="${removed}">Remove</button>` +
    `<button type="button" data-action="close">Close</button></div>` +
    `<form class="inline" data-form="rename" data-entry="${index}"><label>Rename to ` +
    `<input name="to" size="8" required></label> <button>Rename</button></form></div>`;
}

function diskSection(disk, notes, info) {
  const number = folderOf(disk.number);
  const diskNotes = (notes.disks.get(disk.number) || [])
    .map((note) => `<li>${escapeHtml(note)}</li>`).join('');
  return `<section class="disk" id="disk-${disk.number}" data-disk="${disk.number}">` +
    `<h3>Disk ${number} <span class="disk-name" title="raw bytes: ${rawBytes(disk.name.hex)}">` +
    `[${escapeHtml(disk.name.text)}]</span></h3>` +
    `<p class="facts">${escapeHtml(disk.media_name || `media 0x${hex2(disk.media_type)}`)}, ` +
    `write protection ${disk.write_protected ? 'on' : 'off'}</p>` +
    `<details class="info"><summary>Disk facts</summary><pre>${escapeHtml(info || '')}</pre></details>` +
    `<div class="scroll"><table class="listing"><thead><tr><th>Name</th><th>Start</th>` +
    `<th>End</th><th>Size</th><th>State</th><th></th></tr></thead><tbody>` +
    disk.entries.map(entryRow).join('') + `</tbody></table></div>` +
    `<div class="panel"></div>` +
    (diskNotes ? `<ul class="notes">${diskNotes}</ul>` : '') +
    `<details class="map" data-disk="${disk.number}"><summary>Sector map</summary>` +
    `<div class="svg"></div></details>` +
    `<div class="after" hidden><h4>The map after the changes</h4><div class="svg"></div></div>` +
    diskForms(disk) + `</section>`;
}

// The first disks are listed at once; the others follow a few at a time
// after the first frame, so a large image shows its start without waiting
// for all of it.
const kDisksAtOnce = 4;
const kDisksPerStep = 8;

function renderImage(notes, info) {
  const generation = (state.generation = (state.generation || 0) + 1);
  document.getElementById('image-name').textContent = state.name;
  const container = document.getElementById('disks');
  const html = (disks) => disks.map((disk) => diskSection(disk, notes, info.get(disk.number))).join('');
  container.innerHTML = html(state.disks.slice(0, kDisksAtOnce));
  const addRest = (from) => {
    if (generation !== state.generation || from >= state.disks.length) return;
    container.insertAdjacentHTML('beforeend', html(state.disks.slice(from, from + kDisksPerStep)));
    setTimeout(() => addRest(from + kDisksPerStep), 0);
  };
  setTimeout(() => addRest(kDisksAtOnce), 0);
  document.getElementById('image').hidden = false;
  renderEdits();
}

// The map the tool draws, drawn when first opened: a run per disk.
function drawMap(number, folder, target) {
  const picture = `${folder}/map-${number}.svg`;
  runTool(folder, ['--map', `--map-svg=${picture}`, `--disk=${number}`,
                   '--unicode-names', '--', state.name]);
  const fs = state.module.FS;
  target.innerHTML = fs.analyzePath(picture).exists
    ? fs.readFile(picture, { encoding: 'utf8' }) : '';
  if (fs.analyzePath(picture).exists) fs.unlink(picture);
}

// ---- Taking files --------------------------------------------------------

function download(name, bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type: type || 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// The image extracted as the command line extracts it with --unicode-names
// (and --unclaimed when asked), made once per kind and kept.
function extraction(withUnclaimed) {
  const kind = withUnclaimed ? 'unclaimed' : 'files';
  const folder = `/extract-${kind}`;
  if (!state.extractions[kind]) {
    freshFolder(folder);
    const args = ['--unicode-names', `--output=${folder}`];
    if (withUnclaimed) args.push('--unclaimed');
    runTool('/image', args.concat(['--', state.name]));
    state.extractions[kind] = true;
  }
  return folder;
}

function baseName() { return state.name.replace(/\.[^.]*$/, '') || 'image'; }

// Stored, not compressed: the zip never leaves the machine, and deflating
// the 50 MB of a large image would take seconds where storing takes a
// fraction of one.
function zipTree(tree) {
  return fflate.zipSync(tree, { level: 0 });
}

function downloadEntry(number, index) {
  const entry = state.disks.find((d) => d.number === number).entries[index];
  const path = `${extraction(false)}/${folderOf(number)}/${entry.host_name.text}`;
  const fs = state.module.FS;
  if (!fs.analyzePath(path).exists) {
    setStatus(`${folderOf(number)}/${entry.host_name.text} was not written.`);
    return;
  }
  download(entry.host_name.text, fs.readFile(path));
}

function zipFiles(number) {
  const started = performance.now();
  const withUnclaimed = document.getElementById('with-unclaimed').checked;
  const folder = extraction(withUnclaimed);
  const tree = readTree(folder);
  let zip;
  let name;
  if (number === null) {
    zip = zipTree(tree);
    name = `${baseName()}.zip`;
  } else {
    const own = folderOf(number);
    zip = zipTree({ [own]: tree[own] || {} });
    name = `${baseName()}-${own}.zip`;
  }
  state.timings.zip = performance.now() - started;
  download(name, zip, 'application/zip');
}

function downloadJson() {
  const mode = document.getElementById('json-mode').value;
  const result = runTool('/image', [mode, '--json', '--unicode-names', '--', state.name]);
  download(`${baseName()}${mode.replace('--', '-')}.json`, result.out, 'application/json');
}

// ---- Editing -------------------------------------------------------------

function editsOf(number) {
  if (!state.edits.has(number)) {
    state.edits.set(number, { replace: new Map(), add: new Map(), remove: new Set(),
                              rename: new Map(), diskName: null, protect: null });
  }
  return state.edits.get(number);
}

function editLines() {
  const lines = [];
  for (const [number, edits] of [...state.edits].sort((a, b) => a[0] - b[0])) {
    const disk = folderOf(number);
    for (const [name, file] of edits.replace) lines.push(`${disk}/${name}: replaced by ${file.from} (${file.bytes.length} bytes)`);
    for (const [name, bytes] of edits.add) lines.push(`${disk}/${name}: added (${bytes.length} bytes)`);
    for (const name of edits.remove) lines.push(`${disk}/${name}: removed`);
    for (const [from, to] of edits.rename) lines.push(`${disk}/${from}: renamed to ${to}`);
    if (edits.diskName !== null) lines.push(`disk ${disk}: named [${edits.diskName}]`);
    if (edits.protect !== null) lines.push(`disk ${disk}: write protection ${edits.protect}`);
  }
  return lines;
}

function renderEdits() {
  const lines = editLines();
  document.getElementById('edits').hidden = lines.length === 0;
  document.getElementById('edit-list').innerHTML =
    lines.map((line) => `<li>${escapeHtml(line)}</li>`).join('');
}

// A pattern that matches exactly this name.
function literalPattern(name) { return name.replace(/[*?[\]\\]/g, '\\$&'); }

// One repack per disk changed, in order, each with that disk's changes, as
// the command line would be run over the extracted folders.
function repackCommands() {
  const commands = [];
  for (const [number, edits] of [...state.edits].sort((a, b) => a[0] - b[0])) {
    const args = ['--repack', '--relocate', '--unicode-names', `--disk=${number}`];
    if (edits.add.size) args.push('--add');
    for (const name of edits.remove) args.push(`--remove=${literalPattern(name)}`);
    for (const [from, to] of edits.rename) args.push(`--rename=${from}=${to}`);
    if (edits.diskName !== null) args.push(`--set-disk-name=${edits.diskName}`);
    if (edits.protect !== null) args.push(`--write-protect=${edits.protect}`);
    commands.push(args.concat(['--', state.name]));
  }
  return commands;
}

// Extracts the image into /edit, puts the chosen files in place and runs
// the repacks; returns the new image and what the tool said.
function editedImage() {
  const fs = state.module.FS;
  freshFolder('/edit');
  fs.writeFile(`/edit/${state.name}`, state.bytes);
  runTool('/edit', ['--unicode-names', '--', state.name]);
  for (const [number, edits] of state.edits) {
    const folder = `/edit/${folderOf(number)}`;
    if (!fs.analyzePath(folder).exists) fs.mkdir(folder);
    for (const [name, file] of edits.replace) fs.writeFile(`${folder}/${name}`, file.bytes);
    for (const [name, bytes] of edits.add) fs.writeFile(`${folder}/${name}`, bytes);
  }
  const log = [];
  let failed = false;
  state.commands = repackCommands();
  for (const args of state.commands) {
    const result = runTool('/edit', args);
    log.push(shownCommand(args), result.text + result.err);
    failed = failed || result.status !== 0;
  }
  return { bytes: fs.readFile(`/edit/${state.name}`), log: log.join('\n'), failed };
}

function showEditLog(result) {
  const output = document.getElementById('edit-output');
  output.textContent = result.log;
  output.hidden = false;
  output.classList.toggle('refused', result.failed);
}

function previewEdits() {
  const result = editedImage();
  showEditLog(result);
  for (const number of state.edits.keys()) {
    const after = document.querySelector(`#disk-${number} .after`);
    drawMap(number, '/edit', after.querySelector('.svg'));
    after.hidden = false;
  }
}

function saveImage() {
  const result = editedImage();
  download(state.name, result.bytes);
  openBytes(state.name, result.bytes);
  showEditLog(result);
  document.getElementById('edits').hidden = false;
  setStatus(result.failed ? 'Saved; some changes were refused (see the messages).'
                          : 'Saved the new image.');
}

async function takeChosenFiles(input, use) {
  for (const file of input.files) use(file.name, new Uint8Array(await file.arrayBuffer()));
  input.value = '';
  renderEdits();
}

function hostNameOf(number, index) {
  return state.disks.find((d) => d.number === number).entries[index].host_name.text;
}

function entryNameOf(number, index) {
  return state.disks.find((d) => d.number === number).entries[index].name.text;
}

// ---- Wiring --------------------------------------------------------------

function openPanel(section, number, index) {
  const panel = section.querySelector('.panel');
  panel.innerHTML = entryPanel(number, index);
  panel.firstChild.focus();
}

function toggleRemove(button, number, index) {
  const removed = editsOf(number).remove;
  const name = entryNameOf(number, index);
  if (removed.has(name)) removed.delete(name); else removed.add(name);
  button.setAttribute('aria-pressed', String(removed.has(name)));
  renderEdits();
}

function chooseFiles(id, number, name) {
  state.pendingReplace = { number, name };
  document.getElementById(id).click();
}

function onDiskClick(event) {
  const button = event.target.closest('button[data-action]');
  if (!button) return;
  const section = button.closest('section.disk');
  const number = Number(section.dataset.disk);
  const holder = button.closest('[data-entry]');
  const index = holder ? Number(holder.dataset.entry) : -1;
  const action = button.dataset.action;
  if (action === 'download') downloadEntry(number, index);
  if (action === 'zip-disk') zipFiles(number);
  if (action === 'edit') openPanel(section, number, index);
  if (action === 'close') {
    section.querySelector('.panel').innerHTML = '';
    section.querySelector(`tr[data-entry="${index}"] button[data-action="edit"]`).focus();
  }
  if (action === 'remove') toggleRemove(button, number, index);
  if (action === 'replace') chooseFiles('replace-input', number, hostNameOf(number, index));
  if (action === 'add') chooseFiles('add-input', number, null);
}

function onDiskSubmit(event) {
  event.preventDefault();
  const form = event.target;
  const number = Number(form.closest('section.disk').dataset.disk);
  const edits = editsOf(number);
  if (form.dataset.form === 'rename') {
    edits.rename.set(entryNameOf(number, Number(form.dataset.entry)), form.to.value);
  }
  if (form.dataset.form === 'disk-name') edits.diskName = form.name.value;
  if (form.dataset.form === 'protect') edits.protect = form.protect.value;
  renderEdits();
}

function onMapToggle(event) {
  const details = event.target;
  if (!details.matches || !details.matches('details.map') || !details.open) return;
  const target = details.querySelector('.svg');
  if (target.childElementCount === 0) drawMap(Number(details.dataset.disk), '/image', target);
}

function hiddenInput(id, multiple) {
  const input = document.createElement('input');
  input.type = 'file';
  input.id = id;
  input.multiple = multiple;
  input.hidden = true;
  document.body.appendChild(input);
  return input;
}

function wirePage() {
  // The picker is emptied after each choice, so that choosing the same
  // file again (after saving it elsewhere, say) opens it again.
  document.getElementById('image-input').addEventListener('change', (event) => {
    const file = event.target.files[0];
    event.target.value = '';
    openFile(file);
  });
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    openFile(event.dataTransfer.files[0]);
  });
  const disks = document.getElementById('disks');
  disks.addEventListener('click', onDiskClick);
  disks.addEventListener('submit', onDiskSubmit);
  disks.addEventListener('toggle', onMapToggle, true);
  document.getElementById('zip-image').addEventListener('click', () => zipFiles(null));
  document.getElementById('json-download').addEventListener('click', downloadJson);
  document.getElementById('preview').addEventListener('click', previewEdits);
  document.getElementById('save').addEventListener('click', saveImage);
  document.getElementById('discard').addEventListener('click', () => {
    state.edits = new Map();
    openBytes(state.name, state.bytes);
  });
  const replace = hiddenInput('replace-input', false);
  replace.addEventListener('change', () => takeChosenFiles(replace, (from, bytes) =>
    editsOf(state.pendingReplace.number).replace.set(state.pendingReplace.name, { from, bytes })));
  const add = hiddenInput('add-input', true);
  add.addEventListener('change', () => takeChosenFiles(add, (name, bytes) =>
    editsOf(state.pendingReplace.number).add.set(name, bytes)));
}

// What the tests and the benchmark look at.
window.d88page = { state, openBytes, runTool };
window.d88page.ready = startTool().then(() => {
  wirePage();
  setStatus('Ready: open an image.');
  document.body.dataset.ready = 'true';
}).catch((error) => setStatus(`The tool could not start: ${error}`));
