" Marquill for Vim and Neovim: the range's lines go to the marquill filter as
" the exact bytes of the file and come back the same way.  No shell is
" involved: arguments go to the program as a list, so nothing is expanded.

let s:verbs = ['insert', 'delete', 'delete-once', 'delete-all', 'toggle', 'entries']
let s:options = ['--at', '--lines', '-e', '--symbol', '--entry', '--settings', '--settings-encoding']
let s:line_values = ['all', 'nonblank', 'least', 'after-blank']
let s:values = {
      \ '--at': ['head', 'char'],
      \ '--lines': s:line_values,
      \ '--settings-encoding': ['auto', 'utf-8', 'cp932'],
      \ }
" The menu of the Windows command, with the filter's names for its choices.
let s:groups = ['行頭に挿入', '文字先頭位置に挿入', '先頭文字を削除', '設定編集', 'キャンセル']
let s:line_captions = ['全ての行', '空白行を除く', '最小インデント行のみ', '空白行の次の行のみ']
let s:delete_captions = ['1つ削除', '全て削除', '指定して削除']
" Each entry submenu lists at most this many entries, as on Windows.
let s:menu_entries = 1000

" ---------------------------------------------------------------------------
" Arguments

" Splits a command line into words as a POSIX shell would, without expanding
" anything: blanks separate words, '...' is literal, "..." keeps a backslash
" only before $ ` " and \, and a backslash outside quotes takes the next
" character as it is.  An unterminated quote is an error unless lenient
" (for completion), which ends the word there.
function! marquill#split(text, ...) abort
  let lenient = get(a:, 1, 0)
  let words = []
  let word = ''
  let inword = 0
  let i = 0
  let n = strlen(a:text)
  while i < n
    let c = a:text[i]
    if c ==# "'"
      let j = stridx(a:text, "'", i + 1)
      if j < 0
        if !lenient
          throw 'marquill: unterminated quote in the arguments'
        endif
        let j = n
      endif
      let word .= strpart(a:text, i + 1, j - i - 1)
      let inword = 1
      let i = j + 1
    elseif c ==# '"'
      let inword = 1
      let i += 1
      while 1
        if i >= n
          if !lenient
            throw 'marquill: unterminated quote in the arguments'
          endif
          break
        endif
        let c = a:text[i]
        if c ==# '"'
          let i += 1
          break
        elseif c ==# '\' && i + 1 < n && stridx('$`"\', a:text[i + 1]) >= 0
          let word .= a:text[i + 1]
          let i += 2
        else
          let word .= c
          let i += 1
        endif
      endwhile
    elseif c ==# '\'
      let word .= i + 1 < n ? a:text[i + 1] : '\'
      let inword = 1
      let i += 2
    elseif c ==# ' ' || c ==# "\t"
      if inword
        call add(words, word)
      endif
      let word = ''
      let inword = 0
      let i += 1
    else
      let word .= c
      let inword = 1
      let i += 1
    endif
  endwhile
  if inword
    call add(words, word)
  endif
  return words
endfunction

" A word quoted so that marquill#split gives it back.
function! s:Quote(word) abort
  if a:word =~# '^[^ \t''"\\]\+$'
    return a:word
  endif
  return "'" . substitute(a:word, "'", "'\\\\''", 'g') . "'"
endfunction

" The filter's environment: g:marquill_settings reaches it as the settings
" file it reads by default, for every verb and --entry.
function! s:Environment() abort
  let file = get(g:, 'marquill_settings', '')
  return file ==# '' ? {} : {'MARQUILL_SETTINGS': fnamemodify(expand(file), ':p')}
endfunction

" The settings file in effect, as the filter looks for it.
function! marquill#settings_file() abort
  let file = get(g:, 'marquill_settings', '')
  if file !=# ''
    return expand(file)
  elseif $MARQUILL_SETTINGS !=# ''
    return $MARQUILL_SETTINGS
  endif
  let base = $XDG_CONFIG_HOME !=# '' ? $XDG_CONFIG_HOME : $HOME . '/.config'
  return base . '/marquill/Marquill_Setting.txt'
endfunction

" ---------------------------------------------------------------------------
" Running the filter

" Runs the program with args on input, given as writefile() takes it (pieces
" joined by LF, a NL within a piece a NUL byte).  Returns [status, output
" pieces, error lines]; status -1 when the program could not be started.
function! s:Run(args, input) abort
  let program = get(g:, 'marquill_program', 'marquill')
  if !executable(program)
    return [-1, [''], ['marquill: program not found: ' . program . ' (set g:marquill_program)']]
  endif
  let argv = [exepath(program)] + a:args
  if has('nvim')
    return s:RunNvim(argv, a:input, s:Environment())
  endif
  let [input, output, errors] = [tempname(), tempname(), tempname()]
  try
    call writefile(a:input, input, 'b')
    let job = job_start(argv, {'env': s:Environment(), 'in_io': 'file', 'in_name': input,
          \ 'out_io': 'file', 'out_name': output, 'err_io': 'file', 'err_name': errors})
    try
      while job_status(job) ==# 'run'
        sleep 1m
      endwhile
    catch /^Vim:Interrupt$/
      call job_stop(job, 'kill')
      return [-1, [''], ['marquill: interrupted']]
    endtry
    if job_status(job) ==# 'fail'
      return [-1, [''], ['marquill: cannot start ' . program]]
    endif
    let out = filereadable(output) ? readfile(output, 'b') : []
    let err = filereadable(errors) ? readfile(errors, 'b') : []
    return [job_info(job).exitval, empty(out) ? [''] : out, filter(err, 'v:val !=# ""')]
  finally
    for file in [input, output, errors]
      call delete(file)
    endfor
  endtry
endfunction

function! s:Collect(state, name, id, data, event) abort
  let a:state[a:name] = a:data
endfunction

function! s:RunNvim(argv, input, environment) abort
  let state = {'out': v:null, 'err': v:null}
  let job = jobstart(a:argv, {'env': a:environment,
        \ 'stdout_buffered': v:true, 'stderr_buffered': v:true,
        \ 'on_stdout': function('s:Collect', [state, 'out']),
        \ 'on_stderr': function('s:Collect', [state, 'err'])})
  if job <= 0
    return [-1, [''], ['marquill: cannot start ' . a:argv[0]]]
  endif
  if a:input !=# [''] && a:input !=# []
    call chansend(job, a:input)
  endif
  call chanclose(job, 'stdin')
  let status = jobwait([job])[0]
  if status == -2
    " Interrupted: the filter must not go on.
    call jobstop(job)
    return [-1, [''], ['marquill: interrupted']]
  endif
  " The buffered callbacks come at the end of each stream.
  let waited = 0
  while (state.out is v:null || state.err is v:null) && waited < 5000
    sleep 1m
    let waited += 1
  endwhile
  let out = state.out is v:null ? [''] : state.out
  let err = state.err is v:null ? [] : state.err
  return [status, out, filter(copy(err), 'v:val !=# ""')]
endfunction

" ---------------------------------------------------------------------------
" Buffer lines and the file's bytes

" The lines as the file holds them, in writefile() pieces.  'fileformat'
" says which line end Vim took away: LF (unix), CR LF (dos) or CR (mac); any
" other CR is still in the line, and a mac buffer holds each LF as CR.
function! s:Pieces(lines, ff, final_break) abort
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
    if a:ff ==# 'mac'
      let parts = split(a:lines[i], "\r", 1)
      let pieces[-1] .= parts[0]
      call extend(pieces, parts[1:])
    else
      let pieces[-1] .= a:lines[i]
    endif
    if i < last || a:final_break
      if a:ff ==# 'unix'
        call add(pieces, '')
      elseif a:ff ==# 'dos'
        let pieces[-1] .= "\r"
        call add(pieces, '')
      else
        let pieces[-1] .= "\r"
      endif
    endif
  endfor
  return pieces
endfunction

" The filter's output pieces as buffer lines: the inverse of s:Pieces().
" The filter keeps every line end, so the lines split where they did; a
" line count that differs means the output is not the input's lines.
function! s:Lines(pieces, ff, final_break) abort
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

function! s:Error(lines) abort
  echohl ErrorMsg
  for line in a:lines
    echomsg line
  endfor
  echohl None
  let v:errmsg = a:lines[0]
endfunction

" The filter's message, its first line naming the buffer's line and column
" when the filter named a place (marquill:-:LINE:COLUMN: message).
function! s:Message(err, first, lines, ff, final_break) abort
  let err = empty(a:err) ? ['marquill: failed'] : copy(a:err)
  let m = matchlist(err[0], '^marquill:-:\(\d\+\):\(\d\+\): \(.*\)$')
  if !empty(m)
    let place = s:Place(a:lines, a:ff, a:final_break, str2nr(m[1]), str2nr(m[2]))
    if !empty(place)
      let name = bufname('%') ==# '' ? '[No Name]' : bufname('%')
      let err[0] = printf('marquill: %s:%d:%d: %s', name, a:first + place[0], place[1], m[3])
    endif
  endif
  return err
endfunction

" Runs the filter with args on the whole lines first..last.  The buffer
" changes only when the filter succeeds, in one undo step; on failure it
" stays as it was and the message is shown.  Returns 1 on success.
function! marquill#filter(first, last, args) abort
  if !&modifiable
    call s:Error(['marquill: the buffer cannot be changed (''modifiable'' is off)'])
    return 0
  endif
  let lines = getline(a:first, a:last)
  let final_break = a:last < line('$') || &endofline
  " With 'binary' the file's lines end in LF whatever 'fileformat' says.
  let ff = &binary ? 'unix' : &fileformat
  let [status, out, err] = s:Run(a:args, s:Pieces(lines, ff, final_break))
  if status != 0
    call s:Error(s:Message(err, a:first, lines, ff, final_break))
    return 0
  endif
  let changed = s:Lines(out, ff, final_break)
  if len(changed) != len(lines)
    call s:Error(['marquill: the output does not have the lines that went in; the buffer is left as it was'])
    return 0
  endif
  " Only the lines that differ are set, all in one call: one undo step.
  let top = 0
  while top < len(lines) && changed[top] ==# lines[top]
    let top += 1
  endwhile
  if top == len(lines)
    return 1
  endif
  let bottom = len(lines) - 1
  while changed[bottom] ==# lines[bottom]
    let bottom -= 1
  endwhile
  call setline(a:first + top, changed[top : bottom])
  return 1
endfunction

function! marquill#command(first, last, arguments) abort
  if a:arguments =~# '^\s*$'
    return marquill#menu(a:first, a:last)
  endif
  try
    let args = marquill#split(a:arguments)
  catch /^marquill:/
    call s:Error([v:exception])
    return 0
  endtry
  " What only prints (the entries, the help, the version) is shown, not
  " put into the buffer.
  if index(['entries', '--help', '-h', '--version', '-V'], get(args, 0, '')) >= 0
    let [status, out, err] = s:Run(args, [])
    if status != 0
      call s:Error(s:Message(err, a:first, [], 'unix', 1))
      return 0
    endif
    echo join(out[-1] ==# '' ? out[: -2] : out, "\n")
    return 1
  endif
  return marquill#filter(a:first, a:last, args)
endfunction

function! marquill#toggle(first, last) abort
  let entry = get(g:, 'marquill_toggle_entry', '')
  let entry = type(entry) == type(0) ? string(entry) : entry
  return marquill#filter(a:first, a:last,
        \ ['toggle', '--entry', entry ==# '' ? '1' : entry])
endfunction

" ---------------------------------------------------------------------------
" Operators

function! marquill#operator(kind) abort
  let &operatorfunc = a:kind ==# 'menu' ? 'marquill#menu_operator' : 'marquill#toggle_operator'
  return 'g@'
endfunction

function! marquill#toggle_operator(type) abort
  call marquill#toggle(line("'["), line("']"))
endfunction

function! marquill#menu_operator(type) abort
  call marquill#menu(line("'["), line("']"))
endfunction

" ---------------------------------------------------------------------------
" Entries and the menu

" The settings file's valid entries: [{'symbol': ..., 'caption': ...}], the
" caption decoded; throws the filter's message when they cannot be read.
function! marquill#entries() abort
  let [status, out, err] = s:Run(['entries'], [])
  if status != 0
    throw join(empty(err) ? ['marquill: cannot read the settings'] : err, "\n")
  endif
  let entries = []
  for record in out
    let tab = stridx(record, "\t")
    if tab > 0
      call add(entries, {'symbol': s:Unescape(strpart(record, 0, tab)),
            \ 'caption': s:Unescape(strpart(record, tab + 1))})
    endif
  endfor
  return entries
endfunction

" A field as entries prints it, with \t \r \n and \\ decoded.
function! s:Unescape(field) abort
  return substitute(a:field, '\\\(.\)',
        \ '\=get({"t": "\t", "r": "\r", "n": "\n"}, submatch(1), submatch(1))', 'g')
endfunction

" A caption as the menu shows it: no & marks (&& is &), nothing from a tab on.
function! marquill#shown(caption) abort
  let caption = split(a:caption, "\t", 1)[0]
  return substitute(caption, '&\(.\)', '\1', 'g')
endfunction

" The same without a trailing access-key group such as (&M): how a caption
" is typed after --entry.
function! s:Typed(caption) abort
  return marquill#shown(substitute(split(a:caption, "\t", 1)[0], '\s*(&[^&)])\s*$', '', ''))
endfunction

" The editor's own picker: a numbered list; 0 when nothing was chosen.
function! s:Pick(title, items) abort
  let choices = [a:title]
  for i in range(len(a:items))
    call add(choices, printf('%d. %s', i + 1, a:items[i]))
  endfor
  let choice = inputlist(choices)
  return choice >= 1 && choice <= len(a:items) ? choice : 0
endfunction

function! s:PickEntry(title, entries) abort
  if empty(a:entries)
    call s:Error(['marquill: the settings file has no entries: ' . marquill#settings_file()])
    return 0
  endif
  return s:Pick(a:title, map(a:entries[: s:menu_entries - 1], 'marquill#shown(v:val.caption)'))
endfunction

" Opens the settings file in a window, read as the filter reads it: with a
" byte order mark as it says, else UTF-8 when valid, else code page 932.
function! s:EditSettings() abort
  let file = marquill#settings_file()
  let directory = fnamemodify(file, ':h')
  if !isdirectory(directory)
    call mkdir(directory, 'p')
  endif
  let encodings = &fileencodings
  try
    set fileencodings=ucs-bom,utf-8,cp932
    execute 'split' fnameescape(file)
  finally
    let &fileencodings = encodings
  endtry
endfunction

" The menu of the Windows command, for the whole lines first..last.
function! marquill#menu(first, last) abort
  try
    let entries = marquill#entries()
  catch
    " The settings can still be edited when they cannot be read.
    let entries = []
    let failure = split(v:exception, "\n")
  endtry
  let group = s:Pick('Marquill', s:groups)
  if group == 4
    call s:EditSettings()
    return 1
  elseif group == 0 || group == 5
    return 0
  endif
  if exists('failure')
    call s:Error(failure)
    return 0
  endif
  if group <= 2
    let lines = s:Pick(s:groups[group - 1], s:line_captions)
    let entry = lines ? s:PickEntry(s:line_captions[lines - 1], entries) : 0
    if !entry
      return 0
    endif
    let args = ['insert', '--at', group == 1 ? 'head' : 'char', '--lines', s:line_values[lines - 1],
          \ '-e', entries[entry - 1].symbol]
  else
    let kind = s:Pick(s:groups[2], s:delete_captions)
    if kind == 1 || kind == 2
      let args = [kind == 1 ? 'delete-once' : 'delete-all']
    elseif kind == 3
      let entry = s:PickEntry(s:delete_captions[2], entries)
      if !entry
        return 0
      endif
      let args = ['delete', '-e', entries[entry - 1].symbol]
    else
      return 0
    endif
  endif
  return marquill#filter(a:first, a:last, args)
endfunction

" ---------------------------------------------------------------------------
" Completion

function! s:Matching(candidates, lead) abort
  return filter(copy(a:candidates), 'stridx(v:val, a:lead) == 0')
endfunction

function! marquill#complete(lead, cmdline, pos) abort
  let typed = substitute(strpart(a:cmdline, 0, a:pos), '^.\{-}Marquill\s*', '', '')
  let words = marquill#split(typed, 1)
  let done = a:lead ==# '' ? words : words[: -2]
  if empty(done)
    return s:Matching(s:verbs, a:lead)
  endif
  let previous = done[-1]
  if has_key(s:values, previous)
    return s:Matching(s:values[previous], a:lead)
  elseif previous ==# '--entry'
    try
      let captions = map(marquill#entries(), 's:Quote(s:Typed(v:val.caption))')
    catch
      return []
    endtry
    return s:Matching(captions, a:lead)
  elseif previous ==# '--settings' || previous ==# '-s'
    return getcompletion(a:lead, 'file')
  elseif a:lead =~# '^-'
    return s:Matching(s:options, a:lead)
  endif
  return getcompletion(a:lead, 'file')
endfunction
