// Formatting: the statements of a procedure body indented by four spaces, "proc" and "endp"
// in the first column, one blank line after each procedure that another follows. Nothing
// else moves: label lines keep their indentation (a first-column label is a goto target
// and an indented one is not, so indenting would change what the file does), blank lines
// and comments inside procedures stay, and no text within a line changes.
import { TextEdit } from 'vscode-languageserver';
import { labelLength, parse } from './model';

export const bodyIndent = '    ';

export function formatEdits(text: string): TextEdit[] {
    const model = parse(text);
    const lines = model.lines;
    const eol = text.includes('\r\n') ? '\r\n' : '\n';
    const edits: TextEdit[] = [];
    const indent = (line: number, wanted: string) => {
        const current = /^[ \t]*/.exec(lines[line])![0];
        if (current !== wanted) {
            edits.push(TextEdit.replace(
                { start: { line, character: 0 }, end: { line, character: current.length } }, wanted));
        }
    };
    const procs = model.procs.filter((p) => p.end >= 0 && p.name);
    for (const proc of procs) {
        indent(proc.start, '');
        indent(proc.end, '');
        for (let i = proc.start + 1; i < proc.end; ++i) {
            const body = lines[i].replace(/^[ \t]+/, '');
            if (body === '' || labelLength(body) > 0) continue;
            indent(i, bodyIndent);
        }
    }
    for (let k = 0; k + 1 < procs.length; ++k) {
        const after = procs[k].end;
        const next = procs[k + 1].start;
        let blank = after + 1;
        while (blank < next && lines[blank].trim() === '') ++blank;
        const blanks = blank - after - 1;
        if (blanks === 0) {
            const end = { line: after, character: lines[after].length };
            edits.push(TextEdit.insert(end, eol));
        } else if (blanks > 1) {
            edits.push(TextEdit.del({ start: { line: after + 2, character: 0 }, end: { line: blank, character: 0 } }));
        }
    }
    return edits;
}
