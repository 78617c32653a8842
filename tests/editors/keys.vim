" The plug-in through its keys, menu, toggle, completion, settings and help,
" in Vim or Neovim as the package installs it.  Failed assertions go to
" $MARQUILL_RESULTS, one a line; the file is empty when all held.
let g:marquill_settings = $MARQUILL_SETTINGS_FILE

" A fresh buffer holding lines; keys work on it as typed.
function! s:Fresh(lines) abort
  silent! %bwipeout!
  enew!
  call setline(1, a:lines)
  " Undo steps start here, as after typing.
  let &undolevels = &undolevels
endfunction

" Keys as typed, each a new undo step where Vim would make one.
function! s:Keys(keys) abort
  call feedkeys(a:keys, 'tx')
endfunction

" The default keys, and none shadowed.
call assert_equal('<Plug>(MarquillToggle)', maparg('g>', 'n'))
call assert_equal('<Plug>(MarquillToggle)', maparg('g>', 'x'))
call assert_equal('<Plug>(MarquillToggleLine)', maparg('g>>', 'n'))
call assert_equal('<Plug>(Marquill)', maparg('g!', 'n'))

" Toggle twice with the operator and a caption as the menu shows it: the
" symbol goes in at the column of least indentation in the non-blank lines,
" then out; each is one undo step.
let g:marquill_toggle_entry = 'シェル'
call s:Fresh(['  a', '', '    b', 'c'])
call s:Keys('gg')
call s:Keys('g>2j')
call assert_equal(['  # a', '', '  #   b', 'c'], getline(1, '$'))
call s:Keys('ggVjjg>')
call assert_equal(['  a', '', '    b', 'c'], getline(1, '$'))
call s:Keys('u')
call assert_equal(['  # a', '', '  #   b', 'c'], getline(1, '$'))
call s:Keys('u')
call assert_equal(['  a', '', '    b', 'c'], getline(1, '$'))
" A count with the line key; the first entry by default.
unlet g:marquill_toggle_entry
call s:Keys('gg2g>>')
call assert_equal(['  > a', '', '    b', 'c'], getline(1, '$'))
call assert_equal('', v:errmsg)

" The menu, chosen by typing: 文字先頭位置に挿入 › 全ての行 › the second
" entry, over the motion j; then 先頭文字を削除 › 全て削除 on the whole
" buffer; then 指定して削除 › the fourth entry; then キャンセル.
call s:Fresh(['  a', '    b', 'c'])
call s:Keys("ggg!j2\<CR>1\<CR>2\<CR>")
call assert_equal(['  // a', '  //   b', 'c'], getline(1, '$'))
call s:Keys(":%Marquill\<CR>3\<CR>2\<CR>")
call assert_equal(['  a', '    b', 'c'], getline(1, '$'))
call s:Fresh(['%#|!''"\ x', 'y'])
call s:Keys(":%Marquill\<CR>3\<CR>3\<CR>4\<CR>")
call assert_equal(['x', 'y'], getline(1, '$'))
call s:Keys(":%Marquill\<CR>5\<CR>")
call s:Keys(":%Marquill\<CR>\<CR>")
call assert_equal(['x', 'y'], getline(1, '$'))
call assert_equal(2, undotree().seq_last)

" . repeats the Visual toggle on as many lines, g>> with its count, and the
" menu's edit with the same action and entry, without asking again.
let g:marquill_toggle_entry = 'シェル'
for [s:first, s:again, s:want] in [
      \ ['ggVjg>', '4G.', ['# a', '# b', 'c', '# d', '# e', 'f']],
      \ ['gg2g>>', '5G.', ['# a', '# b', 'c', 'd', '# e', '# f']],
      \ ['ggg>j', '3G.', ['# a', '# b', '# c', '# d', 'e', 'f']],
      \ ["ggg!j1\<CR>1\<CR>2\<CR>", '4G.', ['// a', '// b', 'c', '// d', '// e', 'f']],
      \ ["ggVjg!1\<CR>1\<CR>2\<CR>", '3G.', ['// a', '// b', '// c', '// d', 'e', 'f']],
      \ ["ggg!j3\<CR>2\<CR>", '4G.', ['a', 'b', 'c', 'd', 'e', 'f']]]
  call s:Fresh(['a', 'b', 'c', 'd', 'e', 'f'])
  if s:first =~# '3\r2\r$'
    call setline(1, ['// a', '# b', 'c', '> d', '// e', 'f'])
  endif
  " Not through s:Keys(): a function's keys leave no change for . to repeat.
  call feedkeys(s:first, 'tx')
  call feedkeys(s:again, 'tx')
  call assert_equal(s:want, getline(1, '$'), s:first . ' then ' . s:again)
endfor
unlet g:marquill_toggle_entry

" The toggle's symbol: b:marquill_toggle_entry, else g:marquill_toggle_entry,
" else a 'commentstring' of the form X%s (X with a blank after it), else the
" first entry.  'none' leaves a variable unset.
for [s:buffer, s:global, s:comments, s:want] in [
      \ ['シェル', 'メール引用', '//%s', '# '],
      \ ['none', 2, '--%s', '// '],
      \ ['', 'シェル', '//%s', '# '],
      \ ['none', 'none', '//%s', '// '],
      \ ['none', 'none', '-- %s', '-- '],
      \ ['none', 'none', ';;%s', ';; '],
      \ ['none', 'none', '/*%s*/', '> '],
      \ ['none', 'none', '%s', '> '],
      \ ['none', 'none', '', '> ']]
  call s:Fresh(['x'])
  if s:buffer isnot# 'none'
    let b:marquill_toggle_entry = s:buffer
  endif
  if s:global isnot# 'none'
    let g:marquill_toggle_entry = s:global
  endif
  let &l:commentstring = s:comments
  call s:Keys('g>>')
  call assert_equal([s:want . 'x'], getline(1, '$'), string([s:buffer, s:global, s:comments]))
  silent! unlet g:marquill_toggle_entry
endfor

" The cursor stays on its character when its line is edited, before and
" after the symbol's column.
for [s:line, s:column, s:keys] in [[1, 5, 'g>>'], [2, 3, 'g>k'], [2, 1, 'g>>'], [1, 5, 'Vjg>'], [1, 4, "g!j3\<CR>1\<CR>"],
      \ [2, 6, 'g>ip']]
  call s:Fresh(['  abc', '    def'])
  setlocal commentstring=#%s
  call cursor(s:line, s:column)
  let s:at = s:keys[0] ==# 'V' ? [s:line + 1, s:column] : [s:line, s:column]
  let s:char = getline(s:at[0])[s:at[1] - 1]
  " Vim's . puts the cursor at the start of a motion's text, as for its own
  " operators; the line key starts where the cursor is.
  for s:again in s:keys ==# 'g>>' ? ['', '.'] : ['']
    call feedkeys(s:again ==# '' ? s:keys : s:again, 'tx')
    call assert_equal([s:at[0], s:char], [line('.'), getline('.')[col('.') - 1]], s:keys . s:again . ' at ' . s:line . ':' . s:column)
  endfor
endfor

" Nothing but the range goes in or out: FILE operands, - and -i are refused,
" the buffer stays, and a file named like an argument is untouched.  Hints
" written for the shell are not shown.
execute 'cd' fnameescape($MARQUILL_WORK)
call writefile(['keep'], 'other.txt')
for s:arguments in ["insert '> ' other.txt", 'insert -e x other.txt', 'insert -e x -', 'toggle -e x -- other.txt',
      \ 'insert -i -e x other.txt', 'insert --in-place=.bak -e x other.txt', 'delete-all other.txt',
      \ 'insert -e x -i', '-i insert -e x other.txt']
  call s:Fresh(['a', 'b'])
  messages clear
  let v:errmsg = ''
  execute '1,2Marquill ' . s:arguments
  call assert_match('^marquill: ', v:errmsg, s:arguments)
  call assert_notmatch('--help', execute('messages'), s:arguments)
  call assert_equal(['a', 'b'], getline(1, '$'), s:arguments)
  call assert_equal(['keep'], readfile('other.txt'), s:arguments)
  call assert_false(filereadable('other.txt.bak'), s:arguments)
endfor
cd -

" 設定編集 opens the code page 932 settings file, decoded, in a window.
call s:Fresh(['x'])
call s:Keys(":Marquill\<CR>4\<CR>")
call assert_equal(2, winnr('$'))
call assert_equal(fnamemodify($MARQUILL_SETTINGS_FILE, ':p'), expand('%:p'))
call assert_equal('cp932', &fileencoding)
call assert_equal('dos', &fileformat)
call assert_match('メール引用', getline(1))
only!

" A settings file that cannot be read (a NUL in it): every action that
" takes an entry shows the filter's own message and leaves the buffer; the
" toggle's entry and --entry completion too.  設定編集 still opens it.
let s:bad = $MARQUILL_WORK . '/bad-settings.txt'
call writefile(["> \tquote", "# \tsh\nell"], s:bad)
let s:said = systemlist('marquill entries --settings ' . shellescape(s:bad) . ' 2>&1')[0]
call assert_true(s:said =~# '^marquill:' && stridx(s:said, s:bad) > 0, s:said)
let g:marquill_settings = s:bad
for s:keys in [":%Marquill\<CR>1\<CR>1\<CR>", ":%Marquill\<CR>2\<CR>3\<CR>", ":%Marquill\<CR>3\<CR>1\<CR>",
      \ ":%Marquill\<CR>3\<CR>2\<CR>", ":%Marquill\<CR>3\<CR>3\<CR>", 'g>>', "g!j1\<CR>1\<CR>"]
  call s:Fresh(['> a', 'b'])
  setlocal commentstring=
  let v:errmsg = ''
  call s:Keys(s:keys)
  call assert_equal([s:said, ['> a', 'b']], [v:errmsg, getline(1, '$')], s:keys)
endfor
let v:errmsg = ''
call assert_equal([[], s:said], [getcompletion('Marquill insert --entry ', 'cmdline'), v:errmsg])
call s:Fresh(['x'])
call s:Keys(":Marquill\<CR>4\<CR>")
call assert_equal([2, s:bad, ["> \tquote", "# \tsh\nell"]], [winnr('$'), expand('%:p'), getline(1, '$')])
only!
let g:marquill_settings = $MARQUILL_SETTINGS_FILE

" A caption as the menu shows it, and as stored, after --entry.
call s:Fresh(['x'])
Marquill insert --entry メール引用
call assert_equal(['> x'], getline(1, '$'))
Marquill insert --entry 'C/C++ コメント(C)'
call assert_equal(['// > x'], getline(1, '$'))

" The default settings file ($XDG_CONFIG_HOME/marquill/Marquill_Setting.txt).
unlet g:marquill_settings
call s:Fresh(['# > x'])
Marquill delete-all
call assert_equal(['x'], getline(1, '$'))
call assert_equal(fnamemodify($XDG_CONFIG_HOME . '/marquill/Marquill_Setting.txt', ':p'),
      \ fnamemodify(marquill#settings_file(), ':p'))
let g:marquill_settings = $MARQUILL_SETTINGS_FILE

" The entries and the help are shown, not put into the buffer.
call s:Fresh(['x'])
let s:shown = execute('Marquill entries')
call assert_match("> \tメール引用(&M)\\\\t>\n// \tC/C++", s:shown)
call assert_match('marquill', execute('Marquill --help'))
call assert_equal(['x'], getline(1, '$'))

" A failure leaves the buffer and its undo states alone and shows the message.
call s:Fresh(['a', 'b'])
let s:states = undotree().seq_last
let v:errmsg = ''
Marquill insert --lines sideways -e x
call assert_equal(['a', 'b'], getline(1, '$'))
call assert_equal(s:states, undotree().seq_last)
call assert_match('^marquill: .*sideways', v:errmsg)
let v:errmsg = ''
Marquill insert -e 'unterminated
call assert_equal(marquill#i18n#text('marquill: unterminated quote in the arguments'), v:errmsg)

" A place the filter names (line and byte column of what it was given, its
" lines ending at CR LF, CR or LF) is shown as the buffer's line and column.
let g:marquill_program = $MARQUILL_STUB
call s:Fresh(['ok', "a\rb\rc", 'bad here', 'after'])
silent file placed.txt
" A CR inside a line is no line end for the filter.
for [s:place, s:shown] in [['2:2', '3:2'], ['1:5', '2:3'], ['1:1', '2:1'], ['3:1', '4:1'], ['9:1', '']]
  let $MARQUILL_STUB_MESSAGE = 'marquill:-:' . s:place . ': not valid UTF-8'
  2,4Marquill insert -e x
  call assert_equal(s:shown ==# '' ? $MARQUILL_STUB_MESSAGE : 'marquill: placed.txt:' . s:shown . ': not valid UTF-8',
        \ v:errmsg)
endfor
setlocal fileformat=dos
call setline(1, ['a', "b\rc", 'd'])
let $MARQUILL_STUB_MESSAGE = 'marquill:-:3:1: not valid UTF-8'
1,3Marquill insert -e x
call assert_equal('marquill: placed.txt:3:1: not valid UTF-8', v:errmsg)
call assert_equal(['a', "b\rc", 'd', 'after'], getline(1, '$'))
unlet g:marquill_program

" Completion of verbs, option values and captions (quoted where needed).
call assert_equal(['delete', 'delete-once', 'delete-all'], getcompletion('Marquill del', 'cmdline'))
call assert_equal(['after-blank'], getcompletion('Marquill insert --lines af', 'cmdline'))
call assert_equal(['メール引用', "'C/C++ コメント'", 'シェル', '記号'],
      \ getcompletion('Marquill insert --entry ', 'cmdline'))
" No file names anywhere, and nothing that reaches outside the range.
execute 'cd' fnameescape($MARQUILL_WORK)
for s:typed in ['Marquill insert -e x ', 'Marquill insert --settings ', 'Marquill toggle -e x o', 'Marquill -']
  call assert_equal([], getcompletion(s:typed, 'cmdline'), s:typed)
endfor
cd -
call assert_equal([], filter(getcompletion('Marquill insert --', 'cmdline'), 'v:val =~# "in-place\\|stdin-only"'))
call assert_equal(['--settings', '--settings-encoding'], getcompletion('Marquill delete --set', 'cmdline'))
call assert_equal(['auto', 'utf-8', 'cp932'], getcompletion('Marquill delete -s f --settings-encoding ', 'cmdline'))

" Every --entry completion is accepted by the filter and chooses its entry:
" an access key in the middle, a blank before the tab, &&, two captions that
" read the same, a caption of digits.
let s:captions = $MARQUILL_WORK . '/captions.txt'
call writefile(["; \t前(&X)後", "% \tTeX (&T) \\tCtrl+T", "-- \tA&&B(&A)", "! \tTeX (&E)", "? \t12",
      \ "= \tA&&B(&B)\\t&&"], s:captions)
let g:marquill_settings = s:captions
let s:completions = getcompletion('Marquill insert --entry ', 'cmdline')
call assert_equal(6, len(s:completions))
for [s:i, s:symbol] in map([';', '%', '--', '!', '?', '='], {i, symbol -> [i, symbol . ' ']})
  call s:Fresh(['x'])
  let v:errmsg = ''
  execute 'Marquill insert --entry ' . get(s:completions, s:i, 'missing')
  call assert_equal(['', s:symbol . 'x'], [v:errmsg, getline(1)], get(s:completions, s:i, 'missing'))
endfor
let g:marquill_settings = $MARQUILL_SETTINGS_FILE

" Pickers: an access key chooses at once, a number takes Enter, Enter
" alone cancels; with ten entries or more too.
let s:many = $MARQUILL_WORK . '/many.txt'
call writefile(map(range(1, 12), {_, n -> printf("%d \tItem %d(&%s)", n, n, nr2char(64 + n))}) + ["d \t(&D)"], s:many)
for [s:file, s:keys, s:want] in [
      \ [$MARQUILL_SETTINGS_FILE, "g!j1\<CR>1\<CR>c", ['// a', '// b']],
      \ [$MARQUILL_SETTINGS_FILE, "g!j1\<CR>1\<CR>m", ['> a', '> b']],
      \ [$MARQUILL_SETTINGS_FILE, "g!j1\<CR>1\<CR>\<CR>", ['a', 'b']],
      \ [$MARQUILL_SETTINGS_FILE, "g!j1\<CR>1\<CR>\<Esc>", ['a', 'b']],
      \ [s:many, "g!j1\<CR>1\<CR>k", ['11 a', '11 b']],
      \ [s:many, "g!j1\<CR>1\<CR>12\<CR>", ['12 a', '12 b']],
      \ [s:many, "g!j1\<CR>1\<CR>13\<CR>", ['d a', 'd b']]]
  let g:marquill_settings = s:file
  call s:Fresh(['a', 'b'])
  call s:Keys(s:keys)
  call assert_equal(s:want, getline(1, '$'), s:keys)
endfor
" The list shows each entry's symbol, label and access key; an entry with
" no label its symbol.
let g:marquill_settings = s:many
let s:entries = marquill#run#describe().entries
call assert_equal(['1      Item 1', 'A'], [marquill#menu#entry_text(s:entries[0]), s:entries[0].key])
call assert_equal(['d ', 'D'], [marquill#menu#entry_text(s:entries[12]), s:entries[12].key])
let g:marquill_settings = $MARQUILL_SETTINGS_FILE

" The documented example's entry is one of the starter list.
let g:marquill_settings = $MARQUILL_STARTER
call s:Fresh(['x'])
let b:marquill_toggle_entry = 'シェル/Python コメント'
call s:Keys('g>>')
call assert_equal(['# x'], getline(1, '$'))

" First run: a missing settings file; the toggle's message names the
" plug-in's setting, whole, at a narrow width; 設定編集 makes the file
" from the starter list and opens it.
let g:marquill_settings = $MARQUILL_WORK . '/first-' . has('nvim') . '/Marquill_Setting.txt'
let g:marquill_starter = $MARQUILL_STARTER
let s:columns = &columns
set columns=40
call s:Fresh(['x'])
let v:errmsg = ''
messages clear
call s:Keys('g>>')
call assert_match('g:marquill_settings', v:errmsg)
call assert_notmatch('--settings\|MARQUILL_SETTINGS', v:errmsg)
call assert_match('\V' . escape(v:errmsg, '\'), execute('messages'))
let &columns = s:columns
call s:Keys(":Marquill\<CR>4\<CR>y")
call assert_equal([2, fnamemodify(g:marquill_settings, ':p')], [winnr('$'), expand('%:p')])
call assert_equal(readfile($MARQUILL_STARTER, 'b'), readfile(g:marquill_settings, 'b'))
only!
unlet g:marquill_starter

" A settings path expands ~ and variables, and runs nothing.
let g:marquill_settings = $MARQUILL_WORK . '/`touch ' . $MARQUILL_WORK . '/ran`'
call s:Fresh(['x'])
call s:Keys('g>>')
call assert_false(filereadable($MARQUILL_WORK . '/ran'))
call assert_equal($HOME . '/a/' . $HOME, marquill#run#path('~/a/${HOME}'))
let g:marquill_settings = $MARQUILL_SETTINGS_FILE

" A CR inside a line is no line end: one symbol for the one line.
call s:Fresh(["a\rb\r  c\r"])
setlocal noendofline
let b:marquill_toggle_entry = 1
call s:Keys('g>>')
call assert_equal(["> a\rb\r  c\r"], getline(1, '$'))
call s:Keys('g>>')
call assert_equal(["a\rb\r  c\r"], getline(1, '$'))

" The scripts and the help come from the plug-in's own package, found
" through 'packpath' (pack/marquill-filter/start/vim-marquill), not from a shared folder.
function! s:InPackage(file) abort
  return resolve($MARQUILL_VIM_PACKAGE . '/' . a:file)
endfunction
let s:sourced = map(split(execute('scriptnames'), "\n"),
      \ {_, line -> resolve(fnamemodify(matchstr(line, '^\s*\d\+: \zs.*'), ':p'))})
call assert_equal([s:InPackage('autoload/marquill.vim'), s:InPackage('plugin/marquill.vim')],
      \ sort(filter(s:sourced, {_, name -> name =~# 'marquill\.vim$'})))

" The help, in English and Japanese.
set helplang=en
help marquill
call assert_equal('help', &buftype)
call assert_equal(s:InPackage('doc/marquill.txt'), resolve(expand('%:p')))
helpclose
help marquill@ja
call assert_equal(s:InPackage('doc/marquill.jax'), resolve(expand('%:p')))
helpclose
help g>@ja
call assert_match('marquill.jax$', expand('%'))
helpclose

" With g:marquill_no_mappings no keys at all; a key the user maps stays his.
for s:keys in ['g>', 'g>>', 'g!']
  execute 'nunmap' s:keys
endfor
xunmap g>
xunmap g!
nnoremap g> :echo<CR>
unlet g:loaded_marquill
runtime plugin/marquill.vim
call assert_equal(':echo<CR>', maparg('g>', 'n'))
call assert_equal('<Plug>(MarquillToggleLine)', maparg('g>>', 'n'))
nunmap g>
nunmap g>>
nunmap g!
xunmap g>
xunmap g!
let g:marquill_no_mappings = 1
unlet g:loaded_marquill
runtime plugin/marquill.vim
call assert_equal(['', '', '', ''], [maparg('g>', 'n'), maparg('g>>', 'n'), maparg('g!', 'n'), maparg('g>', 'x')])
call assert_equal(2, exists(':Marquill'))

call writefile(v:errors, $MARQUILL_RESULTS)
qall!
