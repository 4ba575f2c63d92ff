// A language client for tests: starts the server as a child process and talks to it over
// the protocol on its standard input and output, as an editor would.
import { ChildProcess, spawn } from 'child_process';
import * as path from 'path';
import {
    createProtocolConnection, Diagnostic, ProtocolConnection, PublishDiagnosticsNotification,
    StreamMessageReader, StreamMessageWriter, TextEdit,
} from 'vscode-languageserver-protocol/node';

export const repoRoot = path.join(__dirname, '..', '..', '..', '..');
export const nativeChecker = process.env.PXFCHECK ?? path.join(repoRoot, 'build-native', 'bin', 'pxfcheck');

export class TestClient {
    private readonly child: ChildProcess;
    readonly connection: ProtocolConnection;
    private readonly waiting = new Map<string, (d: Diagnostic[]) => void>();
    private readonly versions = new Map<string, number>();

    constructor() {
        this.child = spawn(process.execPath, [path.join(__dirname, '..', 'server', 'server.js'), '--stdio'], {
            env: { ...process.env, TOLVARIN_PXFCHECK: nativeChecker },
            stdio: ['pipe', 'pipe', 'inherit'],
        });
        this.connection = createProtocolConnection(
            new StreamMessageReader(this.child.stdout!), new StreamMessageWriter(this.child.stdin!));
        this.connection.onNotification(PublishDiagnosticsNotification.type, (p) => {
            const resolve = this.waiting.get(p.uri);
            if (resolve && p.version === this.versions.get(p.uri)) {
                this.waiting.delete(p.uri);
                resolve(p.diagnostics);
            }
        });
        this.connection.onRequest('window/workDoneProgress/create', () => null);
        this.connection.listen();
    }

    async start() {
        await this.connection.sendRequest('initialize', { processId: process.pid, rootUri: null, capabilities: {} });
        await this.connection.sendNotification('initialized', {});
    }

    // Opens (or replaces) a document and resolves with the diagnostics of that version.
    open(uri: string, text: string): Promise<Diagnostic[]> {
        const version = (this.versions.get(uri) ?? 0) + 1;
        this.versions.set(uri, version);
        const done = new Promise<Diagnostic[]>((resolve, reject) => {
            this.waiting.set(uri, resolve);
            setTimeout(() => reject(new Error(`no diagnostics for ${uri} v${version}`)), 10000).unref();
        });
        if (version === 1) {
            void this.connection.sendNotification('textDocument/didOpen', {
                textDocument: { uri, languageId: 'pxf', version, text },
            });
        } else {
            void this.connection.sendNotification('textDocument/didChange', {
                textDocument: { uri, version }, contentChanges: [{ text }],
            });
        }
        return done;
    }

    request<R>(method: string, uri: string, extra: object = {}): Promise<R> {
        return this.connection.sendRequest(method, { textDocument: { uri }, ...extra }) as Promise<R>;
    }

    async stop() {
        await this.connection.sendRequest('shutdown');
        await this.connection.sendNotification('exit');
        this.connection.dispose();
        this.child.kill();
    }
}

// The text with the edits applied (the edits do not overlap).
export function applyEdits(text: string, edits: TextEdit[]): string {
    const starts = [0];
    for (let i = 0; i < text.length; ++i) if (text[i] === '\n') starts.push(i + 1);
    const offset = (p: { line: number; character: number }) =>
        p.line >= starts.length ? text.length : starts[p.line] + p.character;
    const sorted = [...edits].sort((a, b) => offset(b.range.start) - offset(a.range.start));
    for (const e of sorted) text = text.slice(0, offset(e.range.start)) + e.newText + text.slice(offset(e.range.end));
    return text;
}

// "line,column code" of each diagnostic, counted from 1 as the checker prints them.
export function found(diagnostics: Diagnostic[]): string[] {
    return diagnostics.map((d) => `${d.range.start.line + 1},${d.range.start.character + 1} ${d.code}`);
}
