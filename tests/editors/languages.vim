" What the plug-in shows in each situation of a table, in Vim or Neovim as
" the package installs it: every line echoed, prompted or given as an error.
" Writes {situation: text} as JSON to $MARQUILL_RESULTS; editors_test.py
" checks the language of each.
let g:marquill_settings = $MARQUILL_SETTINGS_FILE
let s:missing = $MARQUILL_MISSING
let g:marquill_starter = $MARQUILL_STARTER
filetype plugin on

function! s:Fresh(lines) abort
  silent! %bwipeout!
  enew!
  call setline(1, a:lines)
endfunction

" Situation, the settings file, the file type ('' none), what runs: keys as
" typed or an Ex command.  Enter alone or n cancels a picker or a question.
let s:situations = [
      \ ['menu', $MARQUILL_SETTINGS_FILE, '', "keys::%Marquill\<CR>\<CR>"],
      \ ['submenu', $MARQUILL_SETTINGS_FILE, '', "keys::%Marquill\<CR>1\<CR>\<CR>"],
      \ ['entry picker', $MARQUILL_SETTINGS_FILE, '', "keys::%Marquill\<CR>1\<CR>1\<CR>\<CR>"],
      \ ['delete picker', $MARQUILL_SETTINGS_FILE, '', "keys::%Marquill\<CR>3\<CR>3\<CR>\<CR>"],
      \ ['no settings file', s:missing, '', 'ex:Marquill insert --entry 1'],
      \ ['create the settings', s:missing, '', "keys::Marquill\<CR>4\<CR>"],
      \ ['block comments only', $MARQUILL_SETTINGS_FILE, 'css', 'keys:g>>'],
      \ ['bad entry', $MARQUILL_SETTINGS_FILE, '', 'ex:Marquill insert --entry no-such-entry'],
      \ ['filter error', $MARQUILL_SETTINGS_FILE, '', 'ex:Marquill insert --lines sideways -e x'],
      \ ['unterminated quote', $MARQUILL_SETTINGS_FILE, '', "ex:Marquill insert -e 'x"],
      \ ['not modifiable', $MARQUILL_SETTINGS_FILE, 'nomodifiable', 'ex:Marquill insert -e x'],
      \ ['no program', $MARQUILL_SETTINGS_FILE, 'noprogram', 'ex:Marquill insert -e x'],
      \ ]

let s:shown = {}
for [s:name, s:settings, s:setup, s:action] in s:situations
  call s:Fresh(['a', 'b'])
  let g:marquill_settings = s:settings
  if s:setup ==# 'css'
    setfiletype css
  elseif s:setup ==# 'nomodifiable'
    setlocal nomodifiable
  elseif s:setup ==# 'noprogram'
    let g:marquill_program = $MARQUILL_WORK . '/no-such-program'
  endif
  let v:errmsg = ''
  let s:out = ''
  redir => s:out
  try
    if s:action =~# '^keys:'
      call feedkeys(s:action[5 :], 'tx')
    else
      silent! execute s:action[3 :]
    endif
  catch
    let v:errmsg = v:exception
  endtry
  redir END
  let s:shown[s:name] = s:out . "\n" . v:errmsg
  silent! unlet g:marquill_program
  setlocal modifiable
endfor
call writefile([json_encode(s:shown)], $MARQUILL_RESULTS)
qall!
