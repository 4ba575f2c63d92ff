// The language server over its protocol, as an editor drives it.
import * as assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';
import {
    CodeAction, CompletionItem, CompletionItemKind, Diagnostic, Hover, Location, MarkupContent,
    SignatureHelp, TextEdit, WorkspaceEdit, DocumentSymbol,
} from 'vscode-languageserver-protocol/node';
import { applyEdits, found, TestClient } from './client';

const identify = [
    ';OBRIX_INST_FILE',
    '; Test device.',
    '',
    'proc Identify',
    '    set $INST_TYPE, "OBX_PLIXA_DRIVER"',
    '    set $DEVNAME, "TestReader"',
    '    set $INST_NAME, "Test reader 1.0"',
    'endp',
    '',
];
const file = (...install: string[]) => [...identify, 'proc Install', ...install, 'endp', ''].join('\n');

// An unknown command, a name that is no variable, a quote that a ";" cuts short.
const threeMistakes = file(
    '    set $dir, "C:\\Program Files\\Test"',
    '    copyy "reader.dll", "#$dir#\\", sb',
    '    set dir, 1',
    '    prompt "Done; really", "?o"');

let client: TestClient;
let n = 0;
const uri = () => `file:///test/doc${++n}.pxf`;
before(async () => {
    client = new TestClient();
    await client.start();
});
after(async () => client.stop());

describe('diagnostics', () => {
    it('are the checker findings with their codes, again after each change', async () => {
        const doc = uri();
        const first = await client.open(doc, threeMistakes);
        assert.deepEqual(found(first), ['12,5 PX0201', '13,9 PX0204', '14,12 PX0301']);
        assert.deepEqual(first.map((d) => d.severity), [1, 1, 1]);
        assert.equal(first[0].source, 'pxfcheck');
        // The range covers the word the finding is about.
        assert.deepEqual(first[0].range, { start: { line: 11, character: 4 }, end: { line: 11, character: 9 } });

        const second = await client.open(doc, threeMistakes.replace('set dir, 1', 'set $dir, 1'));
        assert.deepEqual(found(second), ['12,5 PX0201', '14,12 PX0301']);
    });

    it('count columns in UTF-16 units where the checker counts characters', async () => {
        const diagnostics = await client.open(uri(), file('    set $t, "äöü€" nosuch'));
        // Four letters of two and three bytes each: a column counted in bytes would be off by
        // five.
        assert.deepEqual(found(diagnostics), ['11,20 PX0302']);
    });
});

describe('help', () => {
    const doc = uri();
    const text = file('    copy "reader.dll", "C:\\Reader\\", sb', '    ', '    reg', '    if ! intcmp $n, "<", 3');
    before(() => client.open(doc, text));

    it('hover on copy shows its signature, result and undo line', async () => {
        const hover = await client.request<Hover>('textDocument/hover', doc, { position: { line: 10, character: 6 } });
        const value = (hover.contents as MarkupContent).value;
        assert.match(value, /copy source, destination, \[options\]/);
        assert.match(value, /Signature `ssS`/);
        assert.match(value, /\*\*Undo line:\*\* `del "destination" with ,s ,b or ,sb as given`/);
        assert.match(value, /\*\*Result:\*\* 1 copied/);
        assert.deepEqual(hover.range, { start: { line: 10, character: 4 }, end: { line: 10, character: 8 } });
    });

    it('hover on a command after if ! is that command', async () => {
        const hover = await client.request<Hover>('textDocument/hover', doc, { position: { line: 13, character: 12 } });
        assert.match((hover.contents as MarkupContent).value, /^```pxf\nintcmp a, operator, b/);
    });

    it('completion after reg lists the registry commands and nothing else', async () => {
        const items = await client.request<CompletionItem[]>('textDocument/completion', doc, { position: { line: 12, character: 7 } });
        assert.deepEqual(items.map((i) => i.label).sort(), ['regChangeRef', 'regDW', 'regDel', 'regEnumKey', 'regEnumValue', 'regGetValue',
            'regKeyExists', 'regSZ']);
        assert.ok(items.every((i) => i.kind === CompletionItemKind.Function));
    });

    it('completion at an empty statement offers every command and the procedures', async () => {
        const items = await client.request<CompletionItem[]>('textDocument/completion', doc, { position: { line: 11, character: 4 } });
        const labels = items.map((i) => i.label);
        assert.ok(labels.includes('copy') && labels.includes('progress_show') && labels.includes('@'));
        assert.ok(labels.includes('Identify') && labels.includes('Install'));
    });

    it('signature help marks the argument the cursor is in', async () => {
        const help = await client.request<SignatureHelp>('textDocument/signatureHelp', doc, { position: { line: 10, character: 25 } });
        assert.equal(help.signatures[0].label, 'copy source, destination, [options]');
        assert.equal(help.activeParameter, 1);
        const first = await client.request<SignatureHelp>('textDocument/signatureHelp', doc, { position: { line: 10, character: 11 } });
        assert.equal(first.activeParameter, 0);
    });
});

describe('names', () => {
    const text = [
        ';OBRIX_INST_FILE',
        'proc Identify',
        '    set $INST_TYPE, "OBX_PLIXA_DRIVER"',
        '    set $DEVNAME, "Helper"',
        '    set $INST_NAME, "Test"',
        'endp',
        '',
        'proc Install',
        '    lset $n, 0',
        'again:',
        '    Helper 1, 2',
        '    if ! helper',
        '        goto again',
        '    set $Helper, "Helper"     ; Helper here is a comment',
        '    rback_addproc "Helper", "Uninstall"',
        '    intadd $n',
        'Helper:',
        '    if intcmp $n, "<", 3',
        '        goto Helper',
        'endp',
        '',
        'proc Helper',
        'again:',
        '    return #$n#',
        'endp',
        '',
    ].join('\n');
    const doc = uri();
    before(() => client.open(doc, text));

    it('rename of a procedure changes its definition and calls, nothing else', async () => {
        const edit = await client.request<WorkspaceEdit>('textDocument/rename', doc, {
            position: { line: 21, character: 7 }, newName: 'Cleanup',
        });
        const renamed = applyEdits(text, edit.changes![doc]);
        const expected = text
            .replace('    Helper 1, 2', '    Cleanup 1, 2')
            .replace('if ! helper', 'if ! Cleanup')
            .replace('rback_addproc "Helper"', 'rback_addproc "Cleanup"')
            .replace('proc Helper', 'proc Cleanup');
        assert.equal(renamed, expected);
    });

    it('rename of a variable reaches its substitutions and refuses a name with a blank', async () => {
        const edit = await client.request<WorkspaceEdit>('textDocument/rename', doc, {
            position: { line: 8, character: 11 }, newName: '$count',
        });
        const lines = applyEdits(text, edit.changes![doc]).split('\n');
        assert.equal(lines[8], '    lset $count, 0');
        assert.equal(lines[15], '    intadd $count');
        assert.equal(lines[23], '    return #$count#');
        assert.equal(edit.changes![doc].length, 4);
        await assert.rejects(client.request('textDocument/rename', doc, { position: { line: 8, character: 11 }, newName: 'a b' }));
    });

    it('rename of a label stays within its procedure', async () => {
        const edit = await client.request<WorkspaceEdit>('textDocument/rename', doc, {
            position: { line: 12, character: 14 }, newName: 'retry',
        });
        const lines = applyEdits(text, edit.changes![doc]).split('\n');
        assert.deepEqual([lines[9], lines[12], lines[22]], ['retry:', '        goto retry', 'again:']);
        assert.equal(edit.changes![doc].length, 2);
    });

    it('go to definition of a label finds it in the same procedure', async () => {
        const defs = await client.request<Location[]>('textDocument/definition', doc, { position: { line: 12, character: 15 } });
        assert.deepEqual(defs.map((d) => d.range), [{ start: { line: 9, character: 0 }, end: { line: 9, character: 5 } }]);
        const other = await client.request<Location[]>('textDocument/definition', doc, { position: { line: 18, character: 15 } });
        assert.deepEqual(other.map((d) => d.range.start.line), [16]);
    });

    it('go to definition of a call finds the procedure', async () => {
        const defs = await client.request<Location[]>('textDocument/definition', doc, { position: { line: 10, character: 6 } });
        assert.deepEqual(defs.map((d) => d.range), [{ start: { line: 21, character: 5 }, end: { line: 21, character: 11 } }]);
    });

    it('references of a variable are its uses and where it is set', async () => {
        const refs = await client.request<Location[]>('textDocument/references', doc, {
            position: { line: 15, character: 12 }, context: { includeDeclaration: true },
        });
        assert.deepEqual(refs.map((r) => r.range.start.line), [8, 15, 17, 23]);
        const uses = await client.request<Location[]>('textDocument/references', doc, {
            position: { line: 15, character: 12 }, context: { includeDeclaration: false },
        });
        assert.deepEqual(uses.map((r) => r.range.start.line), [17, 23]);
    });

    it('document symbols are the procedures with their labels', async () => {
        const symbols = await client.request<DocumentSymbol[]>('textDocument/documentSymbol', doc);
        assert.deepEqual(symbols.map((s) => [s.name, (s.children ?? []).map((c) => c.name)]),
            [['Identify', []], ['Install', ['again', 'Helper']], ['Helper', ['again']]]);
    });

    it('completion after goto lists the labels of the procedure', async () => {
        const items = await client.request<CompletionItem[]>('textDocument/completion', doc, { position: { line: 12, character: 13 } });
        assert.deepEqual(items.map((i) => i.label), ['again', 'Helper']);
        const typed = await client.request<CompletionItem[]>('textDocument/completion', doc, { position: { line: 12, character: 14 } });
        assert.deepEqual(typed.map((i) => i.label), ['again']);
    });

    it('completion after $ lists the variables set in the file', async () => {
        const items = await client.request<CompletionItem[]>('textDocument/completion', doc, { position: { line: 15, character: 12 } });
        const labels = items.map((i) => i.label);
        assert.ok(labels.includes('n') && labels.includes('Helper') && labels.includes('INST_TYPE'), labels.join());
    });
});

describe('formatting', () => {
    const messy = [
        ';OBRIX_INST_FILE',
        '   proc Identify',
        'set $INST_TYPE, "OBX_PLIXA_DRIVER"',
        '\tset $DEVNAME, "Test"   ; keeps   its  spacing',
        '        set $INST_NAME, "Test"',
        ' endp',
        'proc Install',
        'again:',
        '  intadd $n',
        '',
        '  ; a comment',
        ' indented: set $x, 1',
        '    goto again',
        'endp',
        '',
        '',
        '; the helper',
        'proc Helper',
        '   return 1',
        'endp',
        '',
    ].join('\n');
    const tidy = [
        ';OBRIX_INST_FILE',
        'proc Identify',
        '    set $INST_TYPE, "OBX_PLIXA_DRIVER"',
        '    set $DEVNAME, "Test"   ; keeps   its  spacing',
        '    set $INST_NAME, "Test"',
        'endp',
        '',
        'proc Install',
        'again:',
        '    intadd $n',
        '',
        '    ; a comment',
        ' indented: set $x, 1',
        '    goto again',
        'endp',
        '',
        '; the helper',
        'proc Helper',
        '    return 1',
        'endp',
        '',
    ].join('\n');

    it('indents bodies, separates procedures by one blank line and leaves labels alone', async () => {
        const doc = uri();
        await client.open(doc, messy);
        const edits = await client.request<TextEdit[]>('textDocument/formatting', doc, { options: { tabSize: 4, insertSpaces: true } });
        assert.equal(applyEdits(messy, edits), tidy);
    });

    it('leaves a formatted file unchanged', async () => {
        const doc = uri();
        await client.open(doc, tidy);
        const edits = await client.request<TextEdit[]>('textDocument/formatting', doc, { options: { tabSize: 4, insertSpaces: true } });
        assert.deepEqual(edits, []);
    });
});

describe('code actions', () => {
    async function fixFirst(text: string, code: string): Promise<{ before: Diagnostic[]; after: Diagnostic[]; title: string }> {
        const doc = uri();
        const diagnostics = await client.open(doc, text);
        const target = diagnostics.filter((d) => d.code === code);
        assert.equal(target.length, 1, found(diagnostics).join());
        const actions = await client.request<CodeAction[]>('textDocument/codeAction', doc, {
            range: target[0].range, context: { diagnostics: target },
        });
        const action = actions.find((a) => a.isPreferred)!;
        const fixed = applyEdits(text, action.edit!.changes![doc]);
        return { before: diagnostics, after: await client.open(doc, fixed), title: action.title };
    }

    it('an unknown command becomes the nearest known one and its diagnostic goes', async () => {
        const r = await fixFirst(threeMistakes, 'PX0201');
        assert.equal(r.title, 'Change to copy');
        assert.deepEqual(found(r.after), ['13,9 PX0204', '14,12 PX0301']);
    });

    it('the blank line after if goes', async () => {
        const r = await fixFirst(file('    if strlen ""', '', '        abort'), 'PX0210');
        assert.deepEqual(found(r.after), []);
    });

    it('a prompt type gets its icon', async () => {
        const r = await fixFirst(file('    prompt "Go on?", "yn"'), 'PX0211');
        assert.equal(r.title, 'Add the question icon ?');
        assert.deepEqual(found(r.after), []);
    });

    it('a far-off word gets no suggestion', async () => {
        const doc = uri();
        const diagnostics = await client.open(doc, file('    frobnicate 1'));
        const actions = await client.request<CodeAction[]>('textDocument/codeAction', doc, {
            range: diagnostics[0].range, context: { diagnostics },
        });
        assert.deepEqual(actions, []);
    });
});
