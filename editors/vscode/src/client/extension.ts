// Starts the language server for installation files and hands it the checker's path; offers
// build tasks that run pxfcheck over files, their output read by the pxfcheck problem matcher.
import * as path from 'path';
import { ExtensionContext, ProcessExecution, Task, TaskDefinition, TaskScope, tasks, window, workspace } from 'vscode';
import { LanguageClient, LanguageClientOptions, ServerOptions, TransportKind } from 'vscode-languageclient/node';
import { locateChecker } from '../server/checker';

let client: LanguageClient | undefined;

interface CheckTask extends TaskDefinition {
    files: string[];
    entries?: string;
}

function checkerPath(): string {
    return workspace.getConfiguration('tolvarin').get<string>('pxfcheckPath', '');
}

function checkTask(definition: CheckTask, name: string): Task | undefined {
    const roots = (workspace.workspaceFolders ?? []).map((f) => f.uri.fsPath);
    const checker = locateChecker(checkerPath(), roots);
    if (!checker) return undefined;
    const args = [...checker.prefix, ...(definition.entries ? [`/entry:${definition.entries}`] : []), ...definition.files];
    return new Task(definition, TaskScope.Workspace, name, 'pxfcheck',
        new ProcessExecution(checker.file, args), '$pxfcheck');
}

export function activate(context: ExtensionContext) {
    const module = context.asAbsolutePath(path.join('out', 'server', 'server.js'));
    const serverOptions: ServerOptions = {
        run: { module, transport: TransportKind.ipc },
        debug: { module, transport: TransportKind.ipc },
    };
    const clientOptions: LanguageClientOptions = {
        documentSelector: [{ language: 'pxf' }],
        initializationOptions: { pxfcheckPath: checkerPath() },
    };
    client = new LanguageClient('tolvarin-pxf', 'Tolvarin installation files', serverOptions, clientOptions);
    void client.start();

    context.subscriptions.push(tasks.registerTaskProvider('pxfcheck', {
        async provideTasks() {
            const found: Task[] = [];
            const file = window.activeTextEditor?.document;
            if (file?.languageId === 'pxf') {
                const t = checkTask({ type: 'pxfcheck', files: [file.uri.fsPath] }, `check ${path.basename(file.uri.fsPath)}`);
                if (t) found.push(t);
            }
            const all = (await workspace.findFiles('**/*.pxf', '**/{node_modules,build*}/**')).map((u) => u.fsPath);
            if (all.length) {
                const t = checkTask({ type: 'pxfcheck', files: all }, 'check every installation file');
                if (t) found.push(t);
            }
            return found;
        },
        resolveTask(task) {
            return checkTask(task.definition as CheckTask, task.name);
        },
    }));
}

export function deactivate(): Thenable<void> | undefined {
    return client?.stop();
}
