// The whole lines that selections cover, sent to the filter as one text, and the
// smallest edits that bring those lines to the filter's result.

export interface Place { line: number; character: number }
export interface Span { start: Place; end: Place }

/** The lines of every span, each once and in order. A span that ends at
 *  column 0 of a later line leaves that line out. */
export function coveredLines(spans: readonly Span[]): number[] {
  const lines = new Set<number>();
  for (const { start, end } of spans) {
    const last = end.line > start.line && end.character === 0 ? end.line - 1 : end.line;
    for (let line = start.line; line <= last; line++) {
      lines.add(line);
    }
  }
  return [...lines].sort((a, b) => a - b);
}

/** The lines as one text, each ended by EOL. */
export function joinLines(texts: readonly string[], eol: string): string {
  return texts.map((t) => t + eol).join('');
}

/** The lines of a text that joinLines made, or undefined when it does not have COUNT of them. */
export function splitLines(text: string, eol: string, count: number): string[] | undefined {
  const parts = text.split(eol);
  if (parts.length !== count + 1 || parts[count] !== '') {
    return undefined;
  }
  return parts.slice(0, count);
}

export interface LineEdit { line: number; from: number; to: number; text: string }

function isHighSurrogate(code: number): boolean {
  return code >= 0xd800 && code <= 0xdbff;
}

function isLowSurrogate(code: number): boolean {
  return code >= 0xdc00 && code <= 0xdfff;
}

/** The one change that turns BEFORE into AFTER within LINE: the characters the
 *  two share at both ends stay, so cursors there keep their places. */
export function lineEdit(line: number, before: string, after: string): LineEdit {
  const most = Math.min(before.length, after.length);
  let head = 0;
  while (head < most && before.charCodeAt(head) === after.charCodeAt(head)) {
    head++;
  }
  if (head > 0 && isHighSurrogate(before.charCodeAt(head - 1))) {
    head--; // never between the halves of one character
  }
  let tail = 0;
  while (tail < most - head && before.charCodeAt(before.length - 1 - tail) === after.charCodeAt(after.length - 1 - tail)) {
    tail++;
  }
  if (tail > 0 && isLowSurrogate(before.charCodeAt(before.length - tail))) {
    tail--;
  }
  return { line, from: head, to: before.length - tail, text: after.slice(head, after.length - tail) };
}

/** The edits for the lines whose text changed. */
export function lineEdits(lines: readonly number[], before: readonly string[], after: readonly string[]): LineEdit[] {
  const edits: LineEdit[] = [];
  lines.forEach((line, i) => {
    if (before[i] !== after[i]) {
      edits.push(lineEdit(line, before[i], after[i]));
    }
  });
  return edits;
}

/** The filter's message with a place in the joined text ("marquill:-:LINE:COLUMN: ...",
 *  column in UTF-8 bytes) told as the document's line and column instead. */
export function documentMessage(message: string, name: string, lines: readonly number[], texts: readonly string[]): string {
  const m = /^marquill:-:(\d+):(\d+): (.*)$/s.exec(message);
  if (!m) {
    return message;
  }
  const index = Number(m[1]) - 1;
  if (index < 0 || index >= lines.length) {
    return message;
  }
  const bytes = Buffer.from(texts[index], 'utf8');
  const column = bytes.subarray(0, Math.max(0, Number(m[2]) - 1)).toString('utf8').length + 1;
  return `marquill: ${name}:${lines[index] + 1}:${column}: ${m[3]}`;
}
