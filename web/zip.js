// A zip archive of files stored as they are, uncompressed: all the page needs
// to hand over a batch in one download, in a few lines instead of a library.
// A classic script: the page uses zipParts, the worker crc32 (so that the
// checksums are computed off the main thread as files are converted), and
// Node loads it with require for the tests.
//
// The archive, all numbers little-endian:
//   per file: a local header (30 bytes and the name), then the bytes
//   per file: a central directory header (46 bytes and the name)
//   the end record (22 bytes): file count, size and offset of the directory
// Without the zip64 extension, counts are 16 bits and sizes and offsets 32.

'use strict';

// CRC-32 as zip computes it: reflected, polynomial EDB88320, all ones in and
// out. One table entry per byte value.
const CRC_TABLE = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; ++n) {
        let c = n;
        for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        table[n] = c;
    }
    return table;
})();

function crc32(bytes) {
    let crc = 0xffffffff;
    for (let i = 0; i < bytes.length; ++i) crc = CRC_TABLE[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
    return (crc ^ 0xffffffff) >>> 0;
}

const UTF8_NAMES = 0x0800;  // flag: names are UTF-8
const VERSION = 10;         // 1.0: stored files, nothing newer needed

// The parts of an archive of `entries` ({ name, data, size, crc }, `data` a
// Uint8Array or Blob of `size` bytes, `name` with "/" between folders), each
// file dated `date`. The parts go into a Blob as they are, so the files' bytes
// are not copied here. Throws a RangeError beyond what a zip without its
// zip64 extension holds: 65535 files, 4 GiB.
function zipParts(entries, date = new Date()) {
    const {time, day} = dosDateTime(date);
    const encoder = new TextEncoder();
    const parts = [];
    const directory = [];
    let offset = 0;
    for (const entry of entries) {
        const name = encoder.encode(entry.name);
        const local = new DataView(new ArrayBuffer(30 + name.length));
        local.setUint32(0, 0x04034b50, true);
        local.setUint16(4, VERSION, true);
        local.setUint16(6, UTF8_NAMES, true);
        local.setUint16(8, 0, true);  // stored
        local.setUint16(10, time, true);
        local.setUint16(12, day, true);
        local.setUint32(14, entry.crc, true);
        local.setUint32(18, entry.size, true);  // compressed: the same
        local.setUint32(22, entry.size, true);
        local.setUint16(26, name.length, true);
        local.setUint16(28, 0, true);  // no extra field
        new Uint8Array(local.buffer).set(name, 30);

        const central = new DataView(new ArrayBuffer(46 + name.length));
        central.setUint32(0, 0x02014b50, true);
        central.setUint16(4, VERSION, true);  // made by: MS-DOS attributes, version 1.0
        central.setUint16(6, VERSION, true);
        central.setUint16(8, UTF8_NAMES, true);
        central.setUint16(10, 0, true);
        central.setUint16(12, time, true);
        central.setUint16(14, day, true);
        central.setUint32(16, entry.crc, true);
        central.setUint32(20, entry.size, true);
        central.setUint32(24, entry.size, true);
        central.setUint16(28, name.length, true);
        // Extra field, comment, disk, attributes: none (30 to 41 stay 0).
        central.setUint32(42, checkedOffset(offset), true);
        new Uint8Array(central.buffer).set(name, 46);

        parts.push(new Uint8Array(local.buffer), entry.data);
        directory.push(new Uint8Array(central.buffer));
        offset += local.byteLength + entry.size;
    }
    const directorySize = directory.reduce((sum, header) => sum + header.length, 0);
    if (entries.length > 0xffff) throw new RangeError('a zip archive holds at most 65535 files');
    const end = new DataView(new ArrayBuffer(22));
    end.setUint32(0, 0x06054b50, true);
    end.setUint16(8, entries.length, true);
    end.setUint16(10, entries.length, true);
    end.setUint32(12, directorySize, true);
    end.setUint32(16, checkedOffset(offset), true);
    checkedOffset(offset + directorySize);
    return [...parts, ...directory, new Uint8Array(end.buffer)];
}

function checkedOffset(offset) {
    if (offset > 0xffffffff) throw new RangeError('a zip archive holds at most 4 GiB');
    return offset;
}

// Zip keeps local time as MS-DOS did: seconds in twos, years from 1980.
function dosDateTime(date) {
    const year = Math.min(Math.max(date.getFullYear(), 1980), 2107);
    return {
        time: (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1),
        day: ((year - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate(),
    };
}

if (typeof module === 'object') module.exports = {crc32, zipParts};
