" The toggle's symbol from what Vim knows of the buffer: the user's entry,
" else the language's line comment, else the first entry for prose.

" File types of prose: their 'comments' list quotes and bullets, and Vim's
" default 'commentstring' is no comment of theirs.
let s:prose = ['', 'text', 'mail', 'markdown']

" The leader of a line comment in a 'comments' value: a part without the
" s, m, e or f flag; the shortest, so that C's // wins over ///.
function! marquill#symbol#line_leader(comments) abort
  let best = ''
  for part in split(a:comments, '\\\@<!,')
    let m = matchlist(part, '^\([^:]*\):\(.\+\)$')
    if empty(m) || m[1] =~# '[smef]'
      continue
    endif
    let leader = substitute(m[2], '\\,', ',', 'g')
    if best ==# '' || strlen(leader) < strlen(best)
      let best = leader
    endif
  endfor
  return best
endfunction

" The symbol of a 'commentstring' that is a line comment ("#%s", "-- %s"),
" with one blank after it; '' for a block comment or none.
function! marquill#symbol#line_comment(commentstring) abort
  let m = matchlist(a:commentstring, '^\s*\(\S.\{-}\)\s*%s\s*$')
  return empty(m) ? '' : m[1] . ' '
endfunction

" The toggle's arguments for the current buffer.  Throws a message when the
" language has block comments only and the user chose no entry.
function! marquill#symbol#toggle_arguments() abort
  for scope in [b:, g:]
    let entry = get(scope, 'marquill_toggle_entry', '')
    let entry = type(entry) == type(0) ? string(entry) : entry
    if entry !=# ''
      return ['toggle', '--entry', entry]
    endif
  endfor
  let symbol = marquill#symbol#line_comment(&commentstring)
  if symbol ==# '' && index(s:prose, &filetype) < 0
    let leader = marquill#symbol#line_leader(&comments)
    let symbol = leader ==# '' ? '' : leader . ' '
    if symbol ==# '' && &commentstring =~# '%s\s*\S'
      let text = marquill#i18n#text('marquill: the file type ''%s'' has only block comments; set b:marquill_toggle_entry or g:marquill_toggle_entry to the entry to toggle')
      throw printf(text, &filetype)
    endif
  endif
  return symbol ==# '' ? ['toggle', '--entry', '1'] : ['toggle', '-e', symbol]
endfunction
