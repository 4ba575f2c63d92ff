// The language server for installation files. Every change is checked by pxfcheck (the
// same checker authors run by hand); everything else works on the model of the file.
import {
    createConnection, Diagnostic, DiagnosticSeverity, InitializeResult, ProposedFeatures,
    TextDocuments, TextDocumentSyncKind,
} from 'vscode-languageserver/node';
import { TextDocument } from 'vscode-languageserver-textdocument';
import { fileURLToPath } from 'url';
import { codeActions } from './actions';
import { CheckerCommand, checkText, Finding, forgetDocument, locateChecker } from './checker';
import {
    complete, definition, documentSymbols, hover, prepareRename, references, rename, signatureHelp,
} from './features';
import { formatEdits } from './format';
import { Model, parse } from './model';

const connection = createConnection(ProposedFeatures.all);
const documents = new TextDocuments(TextDocument);
let checker: CheckerCommand | undefined;
let checkerMissingSaid = false;

// The model of each open document, parsed once per version.
const models = new Map<string, { version: number; model: Model }>();
function modelOf(uri: string): Model | undefined {
    const doc = documents.get(uri);
    if (!doc) return undefined;
    const known = models.get(uri);
    if (known && known.version === doc.version) return known.model;
    const model = parse(doc.getText());
    models.set(uri, { version: doc.version, model });
    return model;
}

connection.onInitialize((params): InitializeResult => {
    const options = (params.initializationOptions ?? {}) as { pxfcheckPath?: string };
    const roots = (params.workspaceFolders ?? []).map((f) => f.uri)
        .concat(params.rootUri ? [params.rootUri] : [])
        .filter((u) => u.startsWith('file:'))
        .map((u) => fileURLToPath(u));
    checker = locateChecker(options.pxfcheckPath ?? '', roots);
    return {
        capabilities: {
            textDocumentSync: TextDocumentSyncKind.Incremental,
            completionProvider: { triggerCharacters: ['$'] },
            hoverProvider: true,
            signatureHelpProvider: { triggerCharacters: [' ', ','] },
            documentSymbolProvider: true,
            definitionProvider: true,
            referencesProvider: true,
            renameProvider: { prepareProvider: true },
            documentFormattingProvider: true,
            codeActionProvider: true,
        },
        serverInfo: { name: 'tolvarin-pxf' },
    };
});

function toDiagnostic(f: Finding, lines: string[]): Diagnostic {
    const text = lines[f.line] ?? '';
    // The finding's range: the word or token it points at.
    let end = f.character;
    while (end < text.length && !/[\s,;]/.test(text[end])) ++end;
    if (end === f.character) end = Math.min(f.character + 1, Math.max(text.length, f.character));
    return {
        range: { start: { line: f.line, character: f.character }, end: { line: f.line, character: end } },
        severity: f.error ? DiagnosticSeverity.Error : DiagnosticSeverity.Warning,
        code: f.code,
        source: 'pxfcheck',
        message: f.text,
    };
}

async function validate(doc: TextDocument) {
    if (!checker) {
        if (!checkerMissingSaid) {
            checkerMissingSaid = true;
            connection.window.showWarningMessage(
                'Tolvarin: no pxfcheck found, so installation files are not checked. ' +
                'Set tolvarin.pxfcheckPath, or build it (scripts/native-build).');
        }
        return;
    }
    const version = doc.version;
    const text = doc.getText();
    try {
        const findings = await checkText(checker, doc.uri, text);
        // A newer change is already being checked: these findings are stale.
        if (documents.get(doc.uri)?.version !== version) return;
        const lines = text.split(/\r?\n/);
        connection.sendDiagnostics({ uri: doc.uri, version, diagnostics: findings.map((f) => toDiagnostic(f, lines)) });
    } catch (error) {
        connection.console.error(`pxfcheck failed: ${error}`);
    }
}

documents.onDidChangeContent((e) => void validate(e.document));
documents.onDidClose((e) => {
    models.delete(e.document.uri);
    forgetDocument(e.document.uri);
    connection.sendDiagnostics({ uri: e.document.uri, diagnostics: [] });
});

connection.onCompletion((p) => { const m = modelOf(p.textDocument.uri); return m ? complete(m, p.position) : []; });
connection.onHover((p) => { const m = modelOf(p.textDocument.uri); return m ? hover(m, p.position) : null; });
connection.onSignatureHelp((p) => { const m = modelOf(p.textDocument.uri); return m ? signatureHelp(m, p.position) : null; });
connection.onDocumentSymbol((p) => { const m = modelOf(p.textDocument.uri); return m ? documentSymbols(m) : []; });
connection.onDefinition((p) => { const m = modelOf(p.textDocument.uri); return m ? definition(m, p.textDocument.uri, p.position) : []; });
connection.onReferences((p) => {
    const m = modelOf(p.textDocument.uri);
    return m ? references(m, p.textDocument.uri, p.position, p.context.includeDeclaration) : [];
});
connection.onPrepareRename((p) => { const m = modelOf(p.textDocument.uri); return m ? prepareRename(m, p.position) : null; });
connection.onRenameRequest((p) => { const m = modelOf(p.textDocument.uri); return m ? rename(m, p.textDocument.uri, p.position, p.newName) : null; });
connection.onDocumentFormatting((p) => { const d = documents.get(p.textDocument.uri); return d ? formatEdits(d.getText()) : []; });
connection.onCodeAction((p) => { const m = modelOf(p.textDocument.uri); return m ? codeActions(m, p.textDocument.uri, p.context.diagnostics) : []; });

documents.listen(connection);
connection.listen();
