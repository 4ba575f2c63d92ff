// Completion, help, navigation and renaming over the model of one file.
import {
    CompletionItem, CompletionItemKind, DocumentSymbol, Hover, Location, MarkupKind, Position,
    Range, SignatureHelp, SymbolKind, TextEdit, WorkspaceEdit,
} from 'vscode-languageserver';
import {
    builtinVariables, commandHelp, commands, CommandInfo, findCommand, parameterLabels, signatureLabel,
} from './catalog';
import {
    commentStart, labelKey, labelLength, Model, Occurrence, occurrenceAt, procAt, Span, statementAt, tokenize,
} from './model';

const toRange = (s: Span): Range => ({ start: { line: s.line, character: s.start }, end: { line: s.line, character: s.end } });

// ---- completion

// Where the cursor is: the word of a statement, a goto label, a variable, or elsewhere.
function completionContext(model: Model, pos: Position): { kind: 'word' | 'label' | 'var' | 'none'; prefix: string } {
    const line = model.lines[pos.line] ?? '';
    const before = line.slice(0, pos.character);
    if (pos.line === 0 || commentStart(line) < pos.character) return { kind: 'none', prefix: '' };
    const variable = /(?:#)?\$([^\s";#$,]*)$/.exec(before);
    if (variable) return { kind: 'var', prefix: variable[1] };
    if (!procAt(model, pos.line)) return { kind: 'none', prefix: '' };
    const gotoLabel = /(?:^|[\s:!])goto[ \t]+([^\s,;]*)$/i.exec(before);
    if (gotoLabel) return { kind: 'label', prefix: gotoLabel[1] };
    // A statement's word: at the line's start (after a label), or after if, if !, @ and
    // eval $v, which run a statement of their own.
    let rest = before.replace(/^[ \t]*/, '');
    const label = labelLength(rest);
    if (label > 0) rest = rest.slice(label + 1).replace(/^[ \t]*/, '');
    for (;;) {
        const nested = /^(?:if[ \t]+(?:![ \t]*)?|@[ \t]+|eval[ \t]+\$[^,]*,[ \t]*(?:![ \t]*)?)/i.exec(rest);
        if (!nested) break;
        rest = rest.slice(nested[0].length);
    }
    if (/^[^\s,"]*$/.test(rest)) return { kind: 'word', prefix: rest };
    return { kind: 'none', prefix: '' };
}

export function complete(model: Model, pos: Position): CompletionItem[] {
    const { kind, prefix } = completionContext(model, pos);
    const wanted = prefix.toUpperCase();
    const matches = (name: string) => name.toUpperCase().startsWith(wanted);
    const items: CompletionItem[] = [];
    if (kind === 'word') {
        for (const c of commands) {
            if (!matches(c.name)) continue;
            items.push({
                label: c.name, kind: CompletionItemKind.Function, detail: signatureLabel(c),
                documentation: { kind: MarkupKind.Markdown, value: commandHelp(c) },
            });
        }
        for (const p of model.procs) {
            if (p.name && matches(p.name)) items.push({ label: p.name, kind: CompletionItemKind.Method, detail: 'procedure' });
        }
    } else if (kind === 'label') {
        for (const l of procAt(model, pos.line)?.labels ?? []) {
            if (l.firstColumn && matches(l.name)) items.push({ label: l.name, kind: CompletionItemKind.Reference, detail: 'label' });
        }
    } else if (kind === 'var') {
        const seen = new Set<string>();
        for (const o of model.occurrences) {
            if (o.kind !== 'var' || !o.definition || seen.has(o.key)) continue;
            seen.add(o.key);
            const name = model.lines[o.span.line].slice(o.span.start, o.span.end);
            if (matches(name)) items.push({ label: name, kind: CompletionItemKind.Variable, detail: `set on line ${o.span.line + 1}` });
        }
        for (const [name, doc] of Object.entries(builtinVariables)) {
            if (!seen.has(name.toUpperCase()) && matches(name)) {
                items.push({ label: name, kind: CompletionItemKind.Variable, detail: doc });
            }
        }
    }
    return items;
}

// ---- help

export function hover(model: Model, pos: Position): Hover | null {
    const s = statementAt(model, pos.line, pos.character);
    if (s && s.wordSpan.start <= pos.character && pos.character <= s.wordSpan.end) {
        if (s.command) return { contents: { kind: MarkupKind.Markdown, value: commandHelp(s.command) }, range: toRange(s.wordSpan) };
    }
    const o = occurrenceAt(model, pos.line, pos.character);
    if (!o) return null;
    let value = '';
    if (o.kind === 'proc') {
        const p = model.procs.find((q) => q.name.toUpperCase() === o.key);
        value = p ? `procedure **${p.name}**, lines ${p.start + 1}–${p.end + 1}` : `no procedure ${o.key} in this file`;
    } else if (o.kind === 'label') {
        const def = model.occurrences.find((d) => d.kind === 'label' && d.definition && d.key === o.key);
        value = def ? `label, line ${def.span.line + 1}` : 'label not in this procedure';
    } else {
        const builtin = Object.entries(builtinVariables).find(([n]) => n.toUpperCase() === o.key);
        const sets = model.occurrences.filter((d) => d.kind === 'var' && d.definition && d.key === o.key);
        const where = sets.length ? `set on line${sets.length > 1 ? 's' : ''} ${sets.map((d) => d.span.line + 1).join(', ')}` : 'not set in this file';
        value = `variable **$${model.lines[o.span.line].slice(o.span.start, o.span.end)}**: ${builtin ? builtin[1] + '; ' : ''}${where}`;
    }
    return { contents: { kind: MarkupKind.Markdown, value }, range: toRange(o.span) };
}

export function signatureHelp(model: Model, pos: Position): SignatureHelp | null {
    const s = statementAt(model, pos.line, pos.character);
    if (!s || !s.command || pos.character <= s.wordSpan.end || pos.character > s.argsEnd) return null;
    const info: CommandInfo = s.command;
    const line = model.lines[pos.line];
    const tokens = tokenize(line, s.argsStart, Math.min(pos.character, s.argsEnd));
    const active = Math.max(0, tokens.length - 1);
    return {
        signatures: [{
            label: signatureLabel(info),
            documentation: { kind: MarkupKind.Markdown, value: commandHelp(info) },
            parameters: parameterLabels(info).map((label) => ({ label })),
        }],
        activeSignature: 0,
        activeParameter: Math.min(active, Math.max(0, info.params.length - 1)),
    };
}

// ---- symbols and navigation

export function documentSymbols(model: Model): DocumentSymbol[] {
    return model.procs.filter((p) => p.name).map((p) => {
        const last = p.end >= 0 ? p.end : model.lines.length - 1;
        return {
            name: p.name,
            kind: SymbolKind.Function,
            range: { start: { line: p.start, character: 0 }, end: { line: last, character: model.lines[last].length } },
            selectionRange: toRange(p.nameSpan),
            children: p.labels.map((l) => ({
                name: l.name, kind: SymbolKind.Key, detail: l.firstColumn ? '' : 'indented: no goto target',
                range: toRange(l.span), selectionRange: toRange(l.span),
            })),
        };
    });
}

function symbolAt(model: Model, pos: Position): Occurrence | undefined {
    return occurrenceAt(model, pos.line, pos.character);
}

function sameSymbol(model: Model, o: Occurrence): Occurrence[] {
    return model.occurrences.filter((q) => q.kind === o.kind && q.key === o.key);
}

export function definition(model: Model, uri: string, pos: Position): Location[] {
    const o = symbolAt(model, pos);
    if (!o) return [];
    let defs = sameSymbol(model, o).filter((q) => q.definition);
    // goto finds the first label of that name in the first column.
    if (o.kind === 'label') {
        const targets = defs.filter((q) => q.span.start === 0);
        defs = (targets.length ? targets : defs).slice(0, 1);
    }
    return defs.map((q) => Location.create(uri, toRange(q.span)));
}

export function references(model: Model, uri: string, pos: Position, withDeclaration: boolean): Location[] {
    const o = symbolAt(model, pos);
    if (!o) return [];
    return sameSymbol(model, o)
        .filter((q) => withDeclaration || !q.definition)
        .map((q) => Location.create(uri, toRange(q.span)));
}

export function prepareRename(model: Model, pos: Position): Range | null {
    const o = symbolAt(model, pos);
    if (!o) return null;
    if (o.kind === 'proc' && !model.procs.some((p) => p.name.toUpperCase() === o.key)) return null;
    return toRange(o.span);
}

// A name the language reads back as one name: no blanks, and none of the characters that
// end or change a token, a label or a substitution.
export function validName(kind: Occurrence['kind'], name: string): boolean {
    if (!name || name.length > 255 || /[\s,;"#$:]/.test(name)) return false;
    if (kind === 'proc') return !findCommand(name) && !/^(proc|endp)$/i.test(name);
    return true;
}

export function rename(model: Model, uri: string, pos: Position, newName: string): WorkspaceEdit | null {
    const o = symbolAt(model, pos);
    if (!o || !prepareRename(model, pos)) return null;
    const name = o.kind === 'var' ? newName.replace(/^\$/, '') : newName;
    if (!validName(o.kind, name)) throw new Error(`${newName} cannot name a ${o.kind === 'var' ? 'variable' : o.kind === 'proc' ? 'procedure' : 'label'}`);
    const edits: TextEdit[] = sameSymbol(model, o).map((q) => TextEdit.replace(toRange(q.span), name));
    return { changes: { [uri]: edits } };
}

export { labelKey };
