// Where the server finds the checker, and how it reads the checker's columns.
import * as assert from 'node:assert/strict';
import * as fs from 'node:fs';
import * as os from 'node:os';
import * as path from 'node:path';
import { after, it } from 'node:test';
import { characterOfColumn, locateChecker } from '../server/checker';

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'pxf-locate-'));
after(() => fs.rmSync(dir, { recursive: true, force: true }));
const touch = (...parts: string[]) => {
    const file = path.join(dir, ...parts);
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, '#!/bin/sh\n', { mode: 0o755 });
    return file;
};

it('finds the configured checker first, then the native build, then the Windows one through wine', { skip: process.platform === 'win32' }, () => {
    const savedPath = process.env.PATH;
    const savedVar = process.env.TOLVARIN_PXFCHECK;
    delete process.env.TOLVARIN_PXFCHECK;
    try {
        const workspace = path.join(dir, 'ws');
        const exe = touch('ws', 'build', 'bin', 'pxfcheck.exe');
        const wine = touch('bin', 'wine');
        process.env.PATH = path.join(dir, 'none');
        assert.equal(locateChecker('', [workspace]), undefined, 'a .exe needs wine');
        process.env.PATH = path.dirname(wine);
        assert.deepEqual(locateChecker('', [workspace]), { file: wine, prefix: [exe] });
        const native = touch('ws', 'build-native', 'bin', 'pxfcheck');
        assert.deepEqual(locateChecker('', [workspace]), { file: native, prefix: [] });
        const configured = touch('elsewhere', 'pxfcheck');
        assert.deepEqual(locateChecker(configured, [workspace]), { file: configured, prefix: [] });
        assert.deepEqual(locateChecker(path.join(dir, 'missing'), [workspace]), { file: native, prefix: [] });
        const onPath = touch('bin', 'pxfcheck');
        assert.deepEqual(locateChecker('', [path.join(dir, 'empty-ws')]), { file: onPath, prefix: [] });
    } finally {
        process.env.PATH = savedPath;
        if (savedVar !== undefined) process.env.TOLVARIN_PXFCHECK = savedVar;
    }
});

it('turns character columns into UTF-16 offsets', () => {
    assert.equal(characterOfColumn('abc', 2), 1);
    assert.equal(characterOfColumn('жb', 2), 1);         // a Cyrillic letter is one
    assert.equal(characterOfColumn('😀x', 2), 2);        // one character, two code units
    assert.equal(characterOfColumn('ab', 6), 5);         // past the end, as told
});
