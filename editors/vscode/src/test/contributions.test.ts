// What package.json contributes besides the server: the problem matcher of the build tasks
// reads the checker's real output, and the snippets expand to text the checker accepts.
import * as assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import * as fs from 'node:fs';
import * as os from 'node:os';
import * as path from 'node:path';
import { it } from 'node:test';
import { nativeChecker } from './client';

const root = path.join(__dirname, '..', '..');
const manifest = JSON.parse(fs.readFileSync(path.join(root, 'package.json'), 'utf8'));

const isFinding = (line: string) => /\(\d+,\d+\): /.test(line);

// The checker's finding lines for the text (its summary line left out).
function check(text: string, ...options: string[]): string[] {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'pxf-contrib-'));
    const file = path.join(dir, 'test.pxf');
    fs.writeFileSync(file, text);
    try {
        return execFileSync(nativeChecker, [...options, file], { encoding: 'utf8' }).split('\n').filter(isFinding);
    } catch (e) {
        return String((e as { stdout: string }).stdout).split('\n').filter(isFinding);
    } finally {
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

it('the pxfcheck problem matcher reads each finding of the checker', () => {
    const matcher = manifest.contributes.problemMatchers.find((m: { name: string }) => m.name === 'pxfcheck');
    const pattern = matcher.pattern;
    const output = check(';OBRIX_INST_FILE\nproc Identify\nendp\nproc Install\n  copyy 1\nendp\nproc Open\n');
    assert.equal(output.length, 5, output.join('\n')); // three times PX0110, PX0201, PX0105
    const parsed = output.map((line) => {
        const m = new RegExp(pattern.regexp).exec(line)!;
        return [path.basename(m[pattern.file]), m[pattern.line], m[pattern.column], m[pattern.severity], m[pattern.code], m[pattern.message]];
    });
    assert.deepEqual(parsed[0].slice(0, 5), ['test.pxf', '2', '1', 'error', 'PX0110']);
    assert.deepEqual(parsed[3], ['test.pxf', '5', '3', 'error', 'PX0201', 'unknown command or procedure copyy']);
    assert.deepEqual(parsed[4].slice(3, 5), ['warning', 'PX0105']);
});

// A snippet body with every placeholder at its default (a choice at its first option).
function expand(body: string[]): string {
    const defaults = new Map<string, string>();
    const text = body.join('\n');
    let out = '';
    for (let i = 0; i < text.length;) {
        if (text[i] === '\\' && '$}\\'.includes(text[i + 1])) {
            out += text[i + 1];
            i += 2;
            continue;
        }
        const m = /^\$\{(\d+):((?:\\.|[^}\\])*)\}|^\$\{(\d+)\|([^,|]*)[^}]*\}|^\$\{(\d+)\}|^\$(\d+)/.exec(text.slice(i));
        if (!m) {
            out += text[i++];
            continue;
        }
        if (m[1] !== undefined) {
            const value = expand([m[2]]);
            defaults.set(m[1], value);
            out += value;
        } else if (m[3] !== undefined) {
            defaults.set(m[3], m[4]);
            out += m[4];
        } else {
            out += defaults.get(m[5] ?? m[6]) ?? '';
        }
        i += m[0].length;
    }
    return out;
}

it('every snippet expands to statements the checker accepts', () => {
    const snippets: Record<string, { prefix: string; body: string[] }> = JSON.parse(
        fs.readFileSync(path.join(root, 'snippets', 'pxf.json'), 'utf8'));
    const identify = 'proc Identify\n set $INST_TYPE, "OBX_PLIXA_DRIVER"\n set $DEVNAME, "R"\n set $INST_NAME, "R"\nendp\n';
    assert.ok(Object.keys(snippets).length >= 8);
    for (const [name, snippet] of Object.entries(snippets)) {
        const text = expand(snippet.body);
        let file = text;
        if (/^proc /.test(text)) {
            // A procedure: in a file with the other entry points.
            file = ';OBRIX_INST_FILE\n' + (/^proc Identify/.test(text) ? '' : identify) + text + '\n' +
                (/^proc Install/.test(text) ? '' : 'proc Install\nendp\n');
        } else if (!text.startsWith(';OBRIX_INST_FILE')) {
            // Statements: in Install, after $dir is set, with the procedure they may copy.
            file = ';OBRIX_INST_FILE\n' + identify + 'proc Install\n    set $dir, "C:\\R"\n' +
                text.replace(/^/gm, '    ') + '\nendp\nproc Remove\nendp\n';
        }
        assert.deepEqual(check(file, '/nosources'), [], `${name}:\n${file}`);
    }
});
