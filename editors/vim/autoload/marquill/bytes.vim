" Buffer lines as the bytes of the file and back: what goes to the filter,
" what comes from it, and where a place the filter names lies in the buffer.

" The lines as the file holds them, in writefile() pieces.  'fileformat'
" says which line end Vim took away: LF (unix), CR LF (dos) or CR (mac); any
" other CR is still in the line, and a mac buffer holds each LF as CR.
function! marquill#bytes#pieces(lines, ff, final_break) abort
  if a:ff ==# 'unix'
    return a:final_break ? a:lines + [''] : copy(a:lines)
  elseif a:ff ==# 'dos'
    let pieces = map(copy(a:lines), 'v:val . "\r"')
    if a:final_break
      call add(pieces, '')
    else
      let pieces[-1] = a:lines[-1]
    endif
    return pieces
  endif
  let pieces = ['']
  let last = len(a:lines) - 1
  for i in range(len(a:lines))
    let parts = split(a:lines[i], "\r", 1)
    let pieces[-1] .= parts[0]
    call extend(pieces, parts[1:])
    if i < last || a:final_break
      let pieces[-1] .= "\r"
    endif
  endfor
  return pieces
endfunction

" The filter's output pieces as buffer lines: the inverse of pieces().
" The filter keeps every line end, so the lines split where they did; []
" when the output cannot be the input's lines.
function! marquill#bytes#lines(pieces, ff, final_break) abort
  if a:ff ==# 'unix'
    let lines = copy(a:pieces)
  elseif a:ff ==# 'dos'
    " Each piece but the last ends in the CR of a CR LF.
    let lines = a:pieces[: -2]
    if !empty(filter(copy(lines), 'v:val[-1:] !=# "\r"'))
      return []
    endif
    let lines = map(lines, 'v:val[: -2]') + a:pieces[-1:]
  else
    let lines = ['']
    for i in range(len(a:pieces))
      if i > 0
        let lines[-1] .= "\r"
      endif
      let parts = split(a:pieces[i], "\r", 1)
      let lines[-1] .= parts[0]
      call extend(lines, parts[1:])
    endfor
  endif
  if a:final_break
    if lines[-1] !=# ''
      return []
    endif
    call remove(lines, -1)
  endif
  return lines
endfunction

" Where the filter's line and byte column (its lines end at CR LF, CR or
" LF) fall in the buffer: [index of the buffer line in lines, byte column],
" or [] when outside.
function! s:Place(lines, ff, final_break, line, column) abort
  if empty(a:lines)
    return []
  endif
  let separator = {'unix': "\n", 'dos': "\r\n", 'mac': "\r"}[a:ff]
  let text = ''
  let starts = []
  let last = len(a:lines) - 1
  for i in range(len(a:lines))
    call add(starts, strlen(text))
    " A NUL (held as NL) is no line end; a mac buffer's CR is a LF.
    let bytes = substitute(a:lines[i], "\n", "\x01", 'g')
    if a:ff ==# 'mac'
      let bytes = substitute(bytes, "\r", "\n", 'g')
    endif
    let text .= bytes . (i < last || a:final_break ? separator : '')
  endfor
  let pos = 0
  for _ in range(a:line - 1)
    let pos = matchend(text, '\r\n\|\r\|\n', pos)
    if pos < 0
      return []
    endif
  endfor
  let offset = pos + a:column - 1
  if offset > strlen(text)
    return []
  endif
  let k = last
  while k > 0 && starts[k] > offset
    let k -= 1
  endwhile
  return [k, offset - starts[k] + 1]
endfunction

" The filter's message, its first line naming the buffer's line and column
" when the filter named a place (marquill:-:LINE:COLUMN: message).
" The lines are those sent; a mark (see cr_mark) in them counts as one byte.
function! marquill#bytes#message(err, first, lines, ff, final_break, ...) abort
  let err = empty(a:err) ? [marquill#i18n#text('marquill: failed')] : copy(a:err)
  let m = matchlist(err[0], '^marquill:-:\(\d\+\):\(\d\+\): \(.*\)$')
  if !empty(m)
    let place = s:Place(a:lines, a:ff, a:final_break, str2nr(m[1]), str2nr(m[2]))
    let mark = get(a:, 1, '')
    if !empty(place) && mark !=# ''
      let before = strpart(a:lines[place[0]], 0, place[1] - 1)
      let place[1] -= s:Count(before, mark) * (strlen(mark) - 1)
    endif
    if !empty(place)
      let name = bufname('%') ==# '' ? '[No Name]' : bufname('%')
      let err[0] = printf('marquill: %s:%d:%d: %s', name, a:first + place[0], place[1], m[3])
    endif
  endif
  return err
endfunction

" A CR inside a line of a unix or dos buffer is a character of that line,
" but the filter would end a line at a CR that no LF follows: such a CR goes
" to the filter as a private use character that the lines do not hold.
" '' when no line holds a CR.
function! marquill#bytes#cr_mark(lines, ff) abort
  if a:ff ==# 'mac' || match(a:lines, "\r") < 0
    return ''
  endif
  let text = join(a:lines, "\n")
  let code = 0xE000
  while stridx(text, nr2char(code)) >= 0
    let code += 1
  endwhile
  return nr2char(code)
endfunction

" The lines with each CR that no LF follows turned into mark: in a unix
" buffer a line's last CR is followed by the line's LF, unless it is the
" last line and the file has no final break.
function! marquill#bytes#mask_cr(lines, mark, ff, final_break) abort
  if a:mark ==# ''
    return a:lines
  endif
  let masked = []
  let last = len(a:lines) - 1
  for i in range(len(a:lines))
    let line = a:lines[i]
    let kept = a:ff ==# 'unix' && line[-1:] ==# "\r" && (i < last || a:final_break)
    let body = kept ? line[: -2] : line
    call add(masked, substitute(body, "\r", a:mark, 'g') . (kept ? "\r" : ''))
  endfor
  return masked
endfunction

function! s:Count(text, part) abort
  return len(split(a:text, '\V' . escape(a:part, '\'), 1)) - 1
endfunction

" The filter's lines with each mark a CR again; [] when a line does not
" hold as many marks as the line sent.
function! marquill#bytes#unmask_cr(lines, mark, sent) abort
  if a:mark ==# ''
    return a:lines
  endif
  let back = []
  for i in range(len(a:lines))
    if s:Count(a:lines[i], a:mark) != s:Count(a:sent[i], a:mark)
      return []
    endif
    call add(back, substitute(a:lines[i], a:mark, "\r", 'g'))
  endfor
  return back
endfunction
