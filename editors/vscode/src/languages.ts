// What a language's own configuration says about comments, read from the extension that
// contributes it, as VS Code's Toggle Line Comment finds it.
import * as vscode from 'vscode';
import { parse } from 'jsonc-parser';

/** A language's comment forms: its line comment, and whether it has a block comment. */
export interface CommentForms { lineComment?: string; blockComment: boolean }

const known = new Map<string, Promise<CommentForms | undefined>>();

interface Contribution { id?: string; configuration?: string }

function lineCommentOf(value: unknown): string | undefined {
  if (typeof value === 'string') return value || undefined;
  if (value && typeof value === 'object' && typeof (value as { comment?: unknown }).comment === 'string') {
    return (value as { comment: string }).comment || undefined;
  }
  return undefined;
}

async function read(languageId: string): Promise<CommentForms | undefined> {
  for (const extension of vscode.extensions.all) {
    const languages = (extension.packageJSON?.contributes?.languages ?? []) as Contribution[];
    for (const language of languages) {
      if (language.id !== languageId || typeof language.configuration !== 'string') continue;
      try {
        const bytes = await vscode.workspace.fs.readFile(vscode.Uri.joinPath(extension.extensionUri, language.configuration));
        const config = parse(new TextDecoder().decode(bytes)) as { comments?: { lineComment?: unknown; blockComment?: unknown } };
        return { lineComment: lineCommentOf(config?.comments?.lineComment), blockComment: Array.isArray(config?.comments?.blockComment) };
      } catch {
        // an unreadable configuration says nothing; another extension may have one
      }
    }
  }
  return undefined;
}

/** The comment forms of LANGUAGEID; undefined when no extension configures them. */
export function commentForms(languageId: string): Promise<CommentForms | undefined> {
  let got = known.get(languageId);
  if (!got) {
    got = read(languageId);
    known.set(languageId, got);
  }
  return got;
}
