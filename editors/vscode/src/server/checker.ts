// Runs pxfcheck over a document's text and reads its findings back. The checker prints
// "path(line,column): error|warning PXnnnn: text" with the column counted in characters
// (code points) of the line; the editor counts UTF-16 code units, so columns are converted
// per line.
import { execFile } from 'child_process';
import * as fs from 'fs';
import * as os from 'os';
import * as path from 'path';

export interface Finding {
    line: number;      // from 0
    character: number; // UTF-16 offset in the line
    error: boolean;
    code: string;
    text: string;
}

export interface CheckerCommand {
    file: string;   // the program to start
    prefix: string[]; // its first arguments (wine: the .exe)
}

function onPath(name: string): string | undefined {
    for (const dir of (process.env.PATH ?? '').split(path.delimiter)) {
        const candidate = path.join(dir, name);
        if (dir && fs.existsSync(candidate)) return candidate;
    }
    return undefined;
}

// How to start pxfcheck (or pxfcheck.exe): this path; else TOLVARIN_PXFCHECK; else the
// workspace's native build, then its Windows build; else whichever is on PATH. A Windows
// checker runs through wine where Windows is not the system.
export function locateChecker(configured: string, roots: string[]): CheckerCommand | undefined {
    const windows = process.platform === 'win32';
    const candidates = [configured, process.env.TOLVARIN_PXFCHECK ?? ''];
    for (const root of roots) {
        if (!windows) candidates.push(path.join(root, 'build-native', 'bin', 'pxfcheck'));
        candidates.push(path.join(root, 'build', 'bin', 'pxfcheck.exe'));
    }
    candidates.push(onPath(windows ? 'pxfcheck.exe' : 'pxfcheck') ?? '');
    if (!windows) candidates.push(onPath('pxfcheck.exe') ?? '');
    for (const file of candidates) {
        if (!file || !fs.existsSync(file)) continue;
        if (windows || !file.toLowerCase().endsWith('.exe')) return { file, prefix: [] };
        const wine = onPath('wine');
        if (wine) return { file: wine, prefix: [file] };
    }
    return undefined;
}

const findingLine = /^.*\((\d+),(\d+)\): (error|warning) (PX\d+): (.*)$/;

// The UTF-16 offset of a character column (from 1) of a line.
export function characterOfColumn(line: string, column: number): number {
    let chars = 0;
    let i = 0;
    while (i < line.length && chars < column - 1) {
        i += line.codePointAt(i)! >= 0x10000 ? 2 : 1;
        ++chars;
    }
    return i + Math.max(0, column - 1 - chars); // past the end: as far as the checker said
}

export function parseFindings(output: string, lines: string[]): Finding[] {
    const findings: Finding[] = [];
    for (const raw of output.split(/\r?\n/)) {
        const m = findingLine.exec(raw);
        if (!m) continue;
        const line = Number(m[1]) - 1;
        findings.push({
            line,
            character: characterOfColumn(lines[line] ?? '', Number(m[2])),
            error: m[3] === 'error',
            code: m[4],
            text: m[5],
        });
    }
    return findings;
}

// One scratch file per document, rewritten for each check, in a folder of this process.
let scratch = '';
let scratchCount = 0;
const scratchFiles = new Map<string, string>();

export function checkText(checker: CheckerCommand, uri: string, text: string): Promise<Finding[]> {
    if (!scratch) {
        scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tolvarin-pxf-'));
        process.on('exit', () => fs.rmSync(scratch, { recursive: true, force: true }));
    }
    let file = scratchFiles.get(uri);
    if (!file) {
        file = path.join(scratch, `${++scratchCount}.pxf`);
        scratchFiles.set(uri, file);
    }
    fs.writeFileSync(file, text, 'utf8');
    return new Promise((resolve, reject) => {
        // The scratch file is not where the document lies: copy sources are not looked for.
        execFile(checker.file, [...checker.prefix, '/nosources', file!], { maxBuffer: 64 << 20 },
            (error, stdout) => {
                // Exit codes 1 and 2 mean findings; 3 or a failed start means no check.
                const code = error ? (error as { code?: unknown }).code : 0;
                if (error && code !== 1 && code !== 2) return reject(error);
                resolve(parseFindings(stdout, text.split(/\r?\n/)));
            });
    });
}

export function forgetDocument(uri: string) {
    const file = scratchFiles.get(uri);
    if (file) fs.rmSync(file, { force: true });
    scratchFiles.delete(uri);
}
