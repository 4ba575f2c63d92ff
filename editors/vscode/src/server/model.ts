// What the editor needs to know of an installation file: its procedures, labels, statements
// and every place a procedure, label or variable is named. It reads the lines as the loader
// and the interpreter do (first word, "proc"/"endp", the first ";" that is no "#;" starts a
// comment, a label ends at the line's first colon), but only as far as naming goes: whether
// a statement is right is the checker's business.
import { CommandInfo, findCommand } from './catalog';

export interface Span {
    line: number;  // from 0
    start: number; // character offsets in the line
    end: number;
}

export interface Proc {
    name: string;  // as written
    nameSpan: Span;
    start: number; // line of "proc"
    end: number;   // line of "endp", or -1 when the file ends first
    labels: Label[];
}

export interface Label {
    name: string;
    span: Span;
    firstColumn: boolean; // only these are goto targets
}

export type SymbolKind = 'proc' | 'label' | 'var';

export interface Occurrence {
    kind: SymbolKind;
    key: string;         // upper case; labels also carry their procedure: "PROC/LABEL"
    span: Span;
    definition: boolean; // proc line, label, a variable a command writes
}

// A statement's command word and its argument text.
export interface Statement {
    line: number;
    word: string;
    wordSpan: Span;
    command?: CommandInfo;
    argsStart: number;   // offset of the argument text (after the word and blanks)
    argsEnd: number;     // where the comment starts, or the line's end
    proc: Proc;
}

export interface Model {
    lines: string[];
    procs: Proc[];
    statements: Statement[];
    occurrences: Occurrence[];
}

export interface Token {
    text: string;
    start: number;
    end: number;
    quoted: boolean;
}

const isBlank = (c: string | undefined) => c === ' ' || c === '\t';

export function splitLines(text: string): string[] {
    return text.split(/\r?\n/);
}

// Where the comment of a line starts (or its length): the first ";" that is not part of "#;"
// and not inside a "#...#" substitution.
export function commentStart(line: string): number {
    for (let i = 0; i < line.length; ++i) {
        const c = line[i];
        if (c === ';') return i;
        if (c !== '#') continue;
        const next = line[i + 1];
        if (next === '#' || next === ';' || next === '"') {
            ++i;
            continue;
        }
        const close = line.indexOf('#', i + 1);
        if (close < 0) return line.length;
        i = close;
    }
    return line.length;
}

// The length of the label that begins text, or 0: text up to the first colon, with no
// space and no ";" before it.
export function labelLength(text: string): number {
    for (let i = 0; i < text.length; ++i) {
        const c = text[i];
        if (c === ':') return i;
        if (c === ' ' || c === ';') return 0;
    }
    return 0;
}

// The argument tokens of text[from, to): comma separated, quotes and escapes respected.
export function tokenize(text: string, from: number, to: number): Token[] {
    const tokens: Token[] = [];
    let pos = from;
    const skip = (p: number) => {
        while (p < to && isBlank(text[p])) ++p;
        return p;
    };
    pos = skip(pos);
    while (pos <= to) {
        const start = pos;
        let p = pos;
        let quoted = false;
        if (text[p] === '"') {
            quoted = true;
            for (++p; p < to && text[p] !== '"'; ++p) {
                if (text[p] === '#' && '#";'.includes(text[p + 1] ?? '') && p + 1 < to) ++p;
            }
            const end = Math.min(p + 1, to);
            tokens.push({ text: text.slice(start, end), start, end, quoted });
            p = end;
            while (p < to && text[p] !== ',') ++p;
        } else {
            while (p < to && text[p] !== ',') {
                if (text[p] === '#' && '#";'.includes(text[p + 1] ?? '') && p + 1 < to) ++p;
                ++p;
            }
            let end = p;
            while (end > start && isBlank(text[end - 1])) --end;
            tokens.push({ text: text.slice(start, end), start, end, quoted });
        }
        if (p >= to) break;
        pos = skip(p + 1);
        if (pos >= to) {
            tokens.push({ text: '', start: pos, end: pos, quoted: false });
            break;
        }
    }
    return tokens;
}

const varRef = /^\$[^\s";#$]+$/;

export function parse(text: string): Model {
    const lines = splitLines(text);
    const model: Model = { lines, procs: [], statements: [], occurrences: [] };
    let open: Proc | undefined;
    for (let i = 1; i < lines.length; ++i) {
        const line = lines[i];
        const at = line.search(/[^ \t]/);
        if (at < 0) continue;
        let stop = at;
        while (stop < line.length && !isBlank(line[stop])) ++stop;
        const word = line.slice(at, stop).toUpperCase();
        if (word === 'PROC') {
            if (open) open.end = -1;
            let nameAt = stop;
            while (isBlank(line[nameAt])) ++nameAt;
            let nameEnd = nameAt;
            while (nameEnd < line.length && !isBlank(line[nameEnd]) && line[nameEnd] !== ';') ++nameEnd;
            const nameSpan = { line: i, start: nameAt, end: nameEnd };
            open = { name: line.slice(nameAt, nameEnd), nameSpan, start: i, end: -1, labels: [] };
            model.procs.push(open);
            if (open.name) {
                model.occurrences.push({ kind: 'proc', key: open.name.toUpperCase(), span: nameSpan, definition: true });
            }
        } else if (word === 'ENDP') {
            if (open) open.end = i;
            open = undefined;
        } else if (open && !word.startsWith(';')) {
            readStatementLine(model, open, i, at);
        }
    }
    return model;
}

function readStatementLine(model: Model, proc: Proc, lineNo: number, at: number) {
    const line = model.lines[lineNo];
    const end = commentStart(line);
    let pos = at;
    const label = labelLength(line.slice(at, end));
    if (label > 0) {
        const span = { line: lineNo, start: at, end: at + label };
        const name = line.slice(at, at + label);
        proc.labels.push({ name, span, firstColumn: at === 0 });
        model.occurrences.push({ kind: 'label', key: labelKey(proc, name), span, definition: true });
        pos = at + label + 1;
    }
    readStatement(model, proc, lineNo, pos, end);
    readSubstitutions(model, lineNo, at, end);
}

export function labelKey(proc: Proc, label: string): string {
    return `${proc.name.toUpperCase()}/${label.toUpperCase()}`;
}

// One statement at line[pos, end): its word, then what its arguments name.
function readStatement(model: Model, proc: Proc, lineNo: number, pos: number, end: number) {
    const line = model.lines[lineNo];
    while (pos < end && isBlank(line[pos])) ++pos;
    let stop = pos;
    while (stop < end && !isBlank(line[stop])) ++stop;
    if (stop === pos) return;
    const word = line.slice(pos, stop);
    let args = stop;
    while (args < end && isBlank(line[args])) ++args;
    const command = findCommand(word);
    const wordSpan = { line: lineNo, start: pos, end: stop };
    model.statements.push({ line: lineNo, word, wordSpan, command, argsStart: args, argsEnd: end, proc });
    if (!command) {
        if (!word.includes('#') && !word.startsWith('$')) {
            model.occurrences.push({ kind: 'proc', key: word.toUpperCase(), span: wordSpan, definition: false });
        }
        readArguments(model, lineNo, args, end, '');
        return;
    }
    switch (command.form) {
        case 'textIgnored':
            return;
        case 'label': {
            const tokens = tokenize(line, args, end);
            const t = tokens[0];
            if (t && t.text && !t.quoted && !t.text.includes('#')) {
                model.occurrences.push({
                    kind: 'label', key: labelKey(proc, t.text),
                    span: { line: lineNo, start: t.start, end: t.end }, definition: false,
                });
            }
            return;
        }
        case 'statement':
        case 'varAndStatement': {
            let statement = args;
            if (command.form === 'varAndStatement') {
                const comma = line.indexOf(',', args);
                const stopAt = comma < 0 || comma > end ? end : comma;
                readArguments(model, lineNo, args, stopAt, 'v');
                if (comma < 0 || comma > end) return;
                statement = comma + 1;
            }
            while (statement < end && isBlank(line[statement])) ++statement;
            if (command.name !== '@' && line[statement] === '!') ++statement;
            readStatement(model, proc, lineNo, statement, end);
            return;
        }
        case 'args':
            readArguments(model, lineNo, args, end, command.signature);
            if (command.name === 'rback_addproc') readProcLiteral(model, lineNo, args, end);
    }
}

// Variables named by the arguments: a whole unquoted "$name" token; a "v" letter writes it.
function readArguments(model: Model, lineNo: number, from: number, to: number, signature: string) {
    const line = model.lines[lineNo];
    tokenize(line, from, to).forEach((t, i) => {
        if (t.quoted || !varRef.test(t.text)) return;
        model.occurrences.push({
            kind: 'var', key: t.text.slice(1).toUpperCase(),
            span: { line: lineNo, start: t.start + 1, end: t.end },
            definition: (signature[i] ?? '').toLowerCase() === 'v',
        });
    });
}

// rback_addproc "Name", ...: the procedure copied into the saved uninstaller.
function readProcLiteral(model: Model, lineNo: number, from: number, to: number) {
    const t = tokenize(model.lines[lineNo], from, to)[0];
    if (!t || t.text.includes('#')) return;
    const inner = t.quoted ? { start: t.start + 1, end: t.end - 1 } : { start: t.start, end: t.end };
    if (inner.end <= inner.start || t.text.startsWith('$')) return;
    const name = model.lines[lineNo].slice(inner.start, inner.end);
    model.occurrences.push({ kind: 'proc', key: name.toUpperCase(), span: { line: lineNo, ...inner }, definition: false });
}

// "#$name#" substitutions anywhere in the statement, quoted text included.
function readSubstitutions(model: Model, lineNo: number, from: number, to: number) {
    const line = model.lines[lineNo];
    for (let i = from; i < to; ++i) {
        if (line[i] !== '#') continue;
        if ('#";'.includes(line[i + 1] ?? '') && i + 1 < to) {
            ++i;
            continue;
        }
        const close = line.indexOf('#', i + 1);
        if (close < 0 || close >= to) return;
        if (line[i + 1] === '$' && close > i + 2) {
            model.occurrences.push({
                kind: 'var', key: line.slice(i + 2, close).toUpperCase(),
                span: { line: lineNo, start: i + 2, end: close }, definition: false,
            });
        }
        i = close;
    }
}

export function procAt(model: Model, line: number): Proc | undefined {
    return model.procs.find((p) => line > p.start && (p.end < 0 || line < p.end));
}

export function occurrenceAt(model: Model, line: number, character: number): Occurrence | undefined {
    return model.occurrences.find(
        (o) => o.span.line === line && o.span.start <= character && character <= o.span.end);
}

export function statementAt(model: Model, line: number, character: number): Statement | undefined {
    // The innermost statement of the line whose word starts at or before the position.
    let found: Statement | undefined;
    for (const s of model.statements) {
        if (s.line === line && s.wordSpan.start <= character) found = s;
    }
    return found;
}
