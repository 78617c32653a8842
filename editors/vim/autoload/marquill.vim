" Marquill for Vim and Neovim: the range's lines go to the marquill filter as
" the exact bytes of the file and come back the same way.  The command, the
" toggle, the operators and their repetition; running the filter is in
" autoload/marquill/run.vim, the menu in menu.vim, the arguments in
" complete.vim.

function! s:Error(lines) abort
  call marquill#run#error(a:lines)
endfunction

" The arguments of an edit of the buffer: --stdin-only, so that the filter
" refuses anything but the range as input or output (and leaves out the
" hints for the shell), and the buffer's 'tabstop' as the tab width where
" the verb takes it, both after the verb.  Options the user gives come after
" them and win.
function! s:EditArguments(args) abort
  let verb = get(a:args, 0, '')
  if verb ==# '' || verb =~# '^-'
    return ['--stdin-only'] + a:args
  endif
  let own = ['--stdin-only']
  let options = marquill#run#options(verb)
  if has_key(options, '--tab-width')
    call extend(own, ['--tab-width', string(&tabstop)])
  endif
  " An editor never rewrites the indentation it inserts into.
  if has_key(options, '--keep-indentation')
    call add(own, '--keep-indentation')
  endif
  return [verb] + own + a:args[1:]
endfunction

" Where the cursor's byte column goes when its line changes from old to
" new: the filter edits one span of a line, so a character after the span
" keeps its distance from the line's end, one before it its column.
function! s:Column(old, new, column) abort
  let head = 0
  let most = min([strlen(a:old), strlen(a:new)])
  while head < most && a:old[head] ==# a:new[head]
    let head += 1
  endwhile
  let tail = 0
  while tail < most - head && a:old[-1 - tail] ==# a:new[-1 - tail]
    let tail += 1
  endwhile
  if a:column - 1 < head
    return a:column
  endif
  return max([head + 1, a:column + strlen(a:new) - strlen(a:old)])
endfunction

" Sets the lines that differ in one call, one undo step, and keeps the
" cursor on its character.
function! s:Replace(first, lines, changed) abort
  let top = 0
  while top < len(a:lines) && a:changed[top] ==# a:lines[top]
    let top += 1
  endwhile
  if top == len(a:lines)
    return
  endif
  let bottom = len(a:lines) - 1
  while a:changed[bottom] ==# a:lines[bottom]
    let bottom -= 1
  endwhile
  let cursor = getcurpos()
  call setline(a:first + top, a:changed[top : bottom])
  let index = cursor[1] - a:first
  if index >= top && index <= bottom
    call cursor(cursor[1], s:Column(a:lines[index], a:changed[index], cursor[2]))
  endif
endfunction

" The message of a settings file that does not exist, naming the editor's
" own setting; other messages as they are.
function! s:Missing(lines) abort
  try
    let description = marquill#run#describe()
    let settings = description.settings
    let item = filter(copy(description.menu.items), 'v:val.action ==# "edit-settings"')
  catch
    return a:lines
  endtry
  if settings.exists || stridx(join(a:lines, "\n"), settings.path) < 0
    return a:lines
  endif
  let text = marquill#i18n#text('marquill: the settings file %s does not exist; choose %s in :Marquill to create it from the starter list, or set g:marquill_settings')
  return [printf(text, settings.path, empty(item) ? '' : item[0].caption)]
endfunction

" Runs the filter with args on the whole lines first..last.  The buffer
" changes only when the filter succeeds, in one undo step; on failure it
" stays as it was and the message is shown.  Returns 1 on success.
function! marquill#filter(first, last, args) abort
  if !&modifiable
    call s:Error([marquill#i18n#text('marquill: the buffer cannot be changed (''modifiable'' is off)')])
    return 0
  endif
  let lines = getline(a:first, a:last)
  let final_break = a:last < line('$') || &endofline
  " With 'binary' the file's lines end in LF whatever 'fileformat' says.
  let ff = &binary ? 'unix' : &fileformat
  try
    let args = s:EditArguments(a:args)
  catch
    call s:Error(split(v:exception, "\n"))
    return 0
  endtry
  let mark = marquill#bytes#cr_mark(lines, ff)
  let sent = marquill#bytes#mask_cr(lines, mark, ff, final_break)
  let [status, out, err] = marquill#run#run(args, marquill#bytes#pieces(sent, ff, final_break))
  if status != 0
    call s:Error(s:Missing(marquill#bytes#message(err, a:first, sent, ff, final_break, mark)))
    return 0
  endif
  let changed = marquill#bytes#lines(out, ff, final_break)
  if len(changed) == len(lines)
    let changed = marquill#bytes#unmask_cr(changed, mark, sent)
  endif
  if len(changed) != len(lines)
    call s:Error([marquill#i18n#text('marquill: the output does not have the lines that went in; the buffer is left as it was')])
    return 0
  endif
  call s:Replace(a:first, lines, changed)
  return 1
endfunction

" What only prints (the entries, the help, the version) is shown, not put
" into the buffer.
function! s:Show(args) abort
  try
    let args = s:EditArguments(a:args)
  catch
    let args = a:args
  endtry
  let [status, out, err] = marquill#run#run(args, [])
  if status != 0
    call s:Error(empty(err) ? [marquill#i18n#text('marquill: failed')] : err)
    return 0
  endif
  echo join(out[-1] ==# '' ? out[: -2] : out, "\n")
  return 1
endfunction

function! marquill#command(first, last, arguments) abort
  if a:arguments =~# '^\s*$'
    return marquill#menu(a:first, a:last)
  endif
  try
    let args = marquill#complete#split(a:arguments)
  catch /^marquill:/
    call s:Error([v:exception])
    return 0
  endtry
  if index(['entries', '--help', '-h', '--version', '-V'], get(args, 0, '')) >= 0
    return s:Show(args)
  endif
  return marquill#filter(a:first, a:last, args)
endfunction

" The toggle's arguments: b:marquill_toggle_entry, else
" g:marquill_toggle_entry, else the language's line comment, else the first
" entry (autoload/marquill/symbol.vim).
function! marquill#toggle_arguments() abort
  return marquill#symbol#toggle_arguments()
endfunction

function! marquill#toggle(first, last) abort
  try
    let args = marquill#symbol#toggle_arguments()
  catch /^marquill:/
    call s:Error([v:exception])
    return 0
  endtry
  return marquill#filter(a:first, a:last, args)
endfunction

" The menu for the whole lines first..last; returns the arguments of the
" edit it ran, [] when none.
function! marquill#menu(first, last) abort
  try
    let args = marquill#menu#choose()
  catch
    call s:Error(split(v:exception, "\n"))
    return []
  endtry
  return !empty(args) && marquill#filter(a:first, a:last, args) ? args : []
endfunction

function! marquill#settings_file() abort
  return marquill#menu#settings_file()
endfunction

" ---------------------------------------------------------------------------
" Operators: through g@, so that a motion, a count, the Visual selection and
" repetition with . work as with Vim's own operators.

" The cursor where the key was typed: g@ moves it to the start of the text,
" and it goes back there before the edit so that it stays on its character.
let s:cursor = {}
function! marquill#operator(kind) abort
  let &operatorfunc = 'marquill#' . a:kind . '_operator'
  let s:cursor = {'buffer': bufnr('%'), 'tick': b:changedtick, 'position': getcurpos()}
  return 'g@'
endfunction

" Puts the cursor back where the key was typed when that is in the text's
" lines; . keeps Vim's place.
function! s:Cursor() abort
  if get(s:cursor, 'buffer', -1) == bufnr('%') && s:cursor.tick == b:changedtick
        \ && s:cursor.position[1] >= line("'[") && s:cursor.position[1] <= line("']")
    call setpos('.', s:cursor.position)
  endif
  let s:cursor = {}
endfunction

function! marquill#toggle_operator(type) abort
  call s:Cursor()
  call marquill#toggle(line("'["), line("']"))
endfunction

" The menu's edit is what . repeats: the same arguments, without asking.
let s:repeated = []
function! marquill#menu_operator(type) abort
  call s:Cursor()
  let args = marquill#menu(line("'["), line("']"))
  if !empty(args)
    let s:repeated = args
    let &operatorfunc = 'marquill#repeat_operator'
  endif
endfunction

function! marquill#repeat_operator(type) abort
  call marquill#filter(line("'["), line("']"), s:repeated)
endfunction
