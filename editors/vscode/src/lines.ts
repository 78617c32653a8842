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

const BLANKS = ' \t\u3000';

function isHighSurrogate(code: number): boolean {
  return code >= 0xd800 && code <= 0xdbff;
}

function isLowSurrogate(code: number): boolean {
  return code >= 0xdc00 && code <= 0xdfff;
}

/** The one change that turns BEFORE into AFTER within LINE: the characters the two share at
 *  the end stay first, then those at the start, so that a symbol put before text goes in
 *  before it and text that follows keeps its own characters (and the cursors on them). */
export function lineEdit(line: number, before: string, after: string): LineEdit {
  const most = Math.min(before.length, after.length);
  let tail = 0;
  while (tail < most && before.charCodeAt(before.length - 1 - tail) === after.charCodeAt(after.length - 1 - tail)) {
    tail++;
  }
  if (tail > 0 && isLowSurrogate(before.charCodeAt(before.length - tail))) {
    tail--; // never between the halves of one character
  }
  let head = 0;
  while (head < most - tail && before.charCodeAt(head) === after.charCodeAt(head)) {
    head++;
  }
  if (head > 0 && isHighSurrogate(before.charCodeAt(head - 1))) {
    head--;
  }
  const to = before.length - tail;
  let text = after.slice(head, after.length - tail);
  // Text put in among blanks goes after them, next to what it marks.
  while (head === to && head < before.length && text !== '' && text[0] === before[head] && BLANKS.includes(text[0])) {
    text = text.slice(1) + before[head];
    head++;
  }
  return { line, from: head, to: Math.max(to, head), text };
}

/** Where CHARACTER of a line is after EDIT of that line: before the change it stays, after it
 *  it moves with the text, inside what was replaced it goes to the change's start; a place
 *  where text was only put in goes after it (the cursor after a new symbol). */
export function movedCharacter(edit: LineEdit, character: number): number {
  if (character < edit.from) {
    return character;
  }
  if (character >= edit.to) {
    return character + edit.text.length - (edit.to - edit.from);
  }
  return edit.from;
}

/** The spans in groups (their indexes, in order) that share no line with another group: each
 *  group is edited on its own, as Toggle Line Comment takes each cursor on its own. */
export function spanGroups(spans: readonly Span[]): number[][] {
  const ranges = spans.map((span, index) => {
    const lines = coveredLines([span]);
    return { index, first: lines[0], last: lines[lines.length - 1] };
  }).sort((a, b) => a.first - b.first || a.index - b.index);
  const groups: { last: number; members: number[] }[] = [];
  for (const range of ranges) {
    const open = groups[groups.length - 1];
    if (open && range.first <= open.last) {
      open.members.push(range.index);
      open.last = Math.max(open.last, range.last);
    } else {
      groups.push({ last: range.last, members: [range.index] });
    }
  }
  return groups.map((g) => g.members.sort((a, b) => a - b));
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

/** The document's line and character column (both from 1) of a place in the joined text
 *  ("-:LINE:COLUMN", column in UTF-8 bytes), or undefined when it names no line of it. */
export function documentPlace(place: string, lines: readonly number[], texts: readonly string[]):
  { line: number; column: number } | undefined {
  const m = /^-:(\d+):(\d+)$/.exec(place);
  if (!m) {
    return undefined;
  }
  const index = Number(m[1]) - 1;
  if (index < 0 || index >= lines.length) {
    return undefined;
  }
  const bytes = new TextEncoder().encode(texts[index]);
  const column = new TextDecoder().decode(bytes.subarray(0, Math.max(0, Number(m[2]) - 1))).length + 1;
  return { line: lines[index] + 1, column };
}

/** The filter's message with a place in the joined text ("marquill:-:LINE:COLUMN: ...",
 *  column in UTF-8 bytes) told as the document's line and column instead. */
export function documentMessage(message: string, name: string, lines: readonly number[], texts: readonly string[]): string {
  const m = /^marquill:(-:\d+:\d+): (.*)$/s.exec(message);
  const place = m ? documentPlace(m[1], lines, texts) : undefined;
  return place ? `marquill: ${name}:${place.line}:${place.column}: ${m![2]}` : message;
}
