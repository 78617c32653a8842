" The plug-in's menu in Vim's own list picker, built from the filter's
" description: its groups, captions and actions, the entries' labels and
" the settings file with its encoding and line ends.

" The items as the picker lists them: number, text and access key.
function! s:Listed(title, items) abort
  let lines = [a:title]
  for i in range(len(a:items))
    let key = get(a:items[i], 'key', '')
    call add(lines, printf('%2d. %s%s', i + 1, a:items[i].text, key ==# '' ? '' : '  (' . key . ')'))
  endfor
  return lines
endfunction

" The item whose access key is c, case aside; 0 when none or several.
function! s:ByKey(items, c) abort
  let found = filter(range(len(a:items)), {_, i -> a:c !=# '' && get(a:items[i], 'key', '') !=# ''
        \ && toupper(a:items[i].key) ==# toupper(a:c)})
  return len(found) == 1 ? found[0] + 1 : 0
endfunction

" The plug-in's picker: items [{'text': ..., 'key': ...}] listed with their
" numbers; an access key chooses at once, as in the popup menu, a number
" is typed and ended with Enter; Enter alone or Esc cancels.  Returns the
" item's number, 0 when nothing was chosen.
function! s:Pick(title, items) abort
  redraw
  echo join(s:Listed(a:title, a:items), "\n") . "\n"
  let prompt = marquill#i18n#text('Key, or number and Enter (Enter alone cancels): ')
  let typed = ''
  let choice = 0
  while 1
    echon "\r" . prompt . typed . ' '
    let c = getchar()
    let c = type(c) == type(0) ? nr2char(c) : c
    if c ==# "\r" || c ==# "\n" || c ==# "\<Esc>"
      let number = c ==# "\<Esc>" ? 0 : str2nr(typed)
      let choice = number >= 1 && number <= len(a:items) ? number : 0
      break
    elseif c ==# "\<BS>" || c ==# "\<C-H>"
      let typed = typed[: -2]
    elseif c =~# '^\d$'
      let typed .= c
    elseif s:ByKey(a:items, c)
      let choice = s:ByKey(a:items, c)
      break
    endif
  endwhile
  " The next title starts on a line of its own.
  redraw
  return choice
endfunction

" The menu's first level: each group once, where it first comes, and each
" item of no group, in the menu's order.  [{'caption': ..., 'items': [...]}]
function! s:Levels(items) abort
  let levels = []
  let groups = {}
  for item in a:items
    if item.group is v:null || item.group ==# ''
      call add(levels, {'caption': item.caption, 'items': [item], 'key': get(item, 'key', '')})
    elseif has_key(groups, item.group)
      call add(groups[item.group].items, item)
    else
      let groups[item.group] = {'caption': item.group, 'items': [item], 'group': 1, 'key': ''}
      call add(levels, groups[item.group])
    endif
  endfor
  return levels
endfunction

" The menu's item chosen at two levels, or {} when cancelled.
function! s:PickItem(items) abort
  let levels = s:Levels(a:items)
  let level = s:Pick('Marquill', map(copy(levels), {_, l -> {'text': l.caption, 'key': get(l, 'key', '')}}))
  if !level
    return {}
  endif
  let level = levels[level - 1]
  if !get(level, 'group', 0)
    return level.items[0]
  endif
  let item = s:Pick(level.caption, map(copy(level.items), {_, i -> {'text': i.caption, 'key': get(i, 'key', '')}}))
  return item ? level.items[item - 1] : {}
endfunction

" An entry as a picker lists it: its symbol, then its label (the symbol
" alone when it has none).
function! marquill#menu#entry_text(entry) abort
  let symbol = strtrans(a:entry.symbol)
  return a:entry.label =~# '^\s*$' ? symbol : symbol . repeat(' ', max([1, 7 - strdisplaywidth(symbol)])) . a:entry.label
endfunction

" An entry chosen by its label; '' when cancelled.  Throws the filter's
" message when the settings file could not be read.
function! s:PickEntry(title, description) abort
  let entries = marquill#run#entries(a:description)[: a:description.menu.entry_limit - 1]
  if empty(entries)
    throw printf(marquill#i18n#text('marquill: the settings file has no entries: %s'), a:description.settings.path)
  endif
  let choice = s:Pick(a:title, map(copy(entries), {_, e -> {'text': marquill#menu#entry_text(e), 'key': get(e, 'key', '')}}))
  return choice ? entries[choice - 1].entry : ''
endfunction

" The starter list to copy: g:marquill_starter, else the filter's.
function! s:Starter(settings) abort
  let starter = get(g:, 'marquill_starter', '')
  return starter !=# '' ? marquill#run#path(starter) : get(a:settings, 'starter', '')
endfunction

" A missing settings file is made, when the user agrees, from the starter
" list (empty when there is none).  Returns the settings to open, {} when
" the user declined.
function! s:FirstRun(settings) abort
  let path = s:PathOf(a:settings)
  let starter = s:Starter(a:settings)
  let readable = starter !=# '' && filereadable(starter)
  let question = readable
        \ ? printf(marquill#i18n#text('The settings file %s does not exist. Create it from the starter list %s?'),
        \          path, starter)
        \ : printf(marquill#i18n#text('The settings file %s does not exist. Create it?'), path)
  if confirm(question, marquill#i18n#text('&Yes') . "\n" . marquill#i18n#text('&No'), 1) != 1
    return {}
  endif
  let directory = fnamemodify(path, ':h')
  if !isdirectory(directory)
    call mkdir(directory, 'p')
  endif
  call writefile(readable ? readfile(starter, 'b') : [], path, 'b')
  if !readable
    echomsg marquill#i18n#text('marquill: each line of the settings file is a symbol, a tab and a caption')
  endif
  return marquill#run#describe().settings
endfunction

" The settings file's path: its exact bytes when they are not UTF-8 (the
" filter's "path" then shows them as U+FFFD).
function! s:PathOf(settings) abort
  if !has_key(a:settings, 'path_bytes')
    return a:settings.path
  endif
  return join(map(copy(a:settings.path_bytes), {_, b -> eval(printf('"\x%02x"', b))}), '')
endfunction

" Opens the settings file in a window, in the encoding and with the line
" ends the filter reads it with, so that it is written back the same.
function! s:EditSettings(settings) abort
  let settings = a:settings
  if !get(settings, 'exists', 1)
    let settings = s:FirstRun(settings)
    if empty(settings)
      return
    endif
  endif
  call s:OpenSettings(settings)
endfunction

function! s:OpenSettings(settings) abort
  let path = s:PathOf(a:settings)
  let encoding = get({'utf-8-bom': 'utf-8', 'utf-16be': 'utf-16'}, a:settings.encoding, a:settings.encoding)
  let format = get({"\r\n": 'dos', "\n": 'unix', "\r": 'mac'}, a:settings.line_break, 'unix')
  execute 'split ++enc=' . encoding . ' ++ff=' . format fnameescape(path)
  if a:settings.encoding ==# 'utf-8-bom'
    setlocal bomb
  endif
endfunction

" Asks for the menu's action: the filter's arguments of the chosen edit, or
" [] when there is nothing to run (cancelled, the settings opened).  Throws
" a message when the menu cannot be had or shows no entries.
function! marquill#menu#choose() abort
  let description = marquill#run#describe()
  let item = s:PickItem(description.menu.items)
  if empty(item) || item.action ==# 'cancel'
    return []
  elseif item.action ==# 'edit-settings'
    call s:EditSettings(description.settings)
    return []
  endif
  let args = copy(item.args)
  if item.per_entry
    let entry = s:PickEntry(item.caption, description)
    if entry ==# ''
      return []
    endif
    call extend(args, ['--entry', entry])
  endif
  return args
endfunction

" The settings file in effect, as the filter names it.
function! marquill#menu#settings_file() abort
  return s:PathOf(marquill#run#describe().settings)
endfunction
