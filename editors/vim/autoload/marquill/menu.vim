" The plug-in's menu in Vim's own list picker, built from the filter's
" description: its groups, captions and actions, the entries' labels and
" the settings file with its encoding and line ends.

" The editor's own picker: a numbered list; 0 when nothing was chosen.
function! s:Pick(title, items) abort
  let choices = [a:title]
  for i in range(len(a:items))
    call add(choices, printf('%d. %s', i + 1, a:items[i]))
  endfor
  let choice = inputlist(choices)
  return choice >= 1 && choice <= len(a:items) ? choice : 0
endfunction

" The menu's first level: each group once, where it first comes, and each
" item of no group, in the menu's order.  [{'caption': ..., 'items': [...]}]
function! s:Levels(items) abort
  let levels = []
  let groups = {}
  for item in a:items
    if item.group is v:null || item.group ==# ''
      call add(levels, {'caption': item.caption, 'items': [item]})
    elseif has_key(groups, item.group)
      call add(groups[item.group].items, item)
    else
      let groups[item.group] = {'caption': item.group, 'items': [item], 'group': 1}
      call add(levels, groups[item.group])
    endif
  endfor
  return levels
endfunction

" The menu's item chosen at two levels, or {} when cancelled.
function! s:PickItem(items) abort
  let levels = s:Levels(a:items)
  let level = s:Pick('Marquill', map(copy(levels), 'v:val.caption'))
  if !level
    return {}
  endif
  let level = levels[level - 1]
  if !get(level, 'group', 0)
    return level.items[0]
  endif
  let item = s:Pick(level.caption, map(copy(level.items), 'v:val.caption'))
  return item ? level.items[item - 1] : {}
endfunction

" An entry chosen by its label; '' when cancelled.  Throws the filter's
" message when the settings file could not be read.
function! s:PickEntry(title, description) abort
  let entries = marquill#run#entries(a:description)[: a:description.menu.entry_limit - 1]
  if empty(entries)
    throw 'marquill: the settings file has no entries: ' . a:description.settings.path
  endif
  let choice = s:Pick(a:title, map(copy(entries), 'v:val.label'))
  return choice ? entries[choice - 1].entry : ''
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
  let path = s:PathOf(a:settings)
  let directory = fnamemodify(path, ':h')
  if !isdirectory(directory)
    call mkdir(directory, 'p')
  endif
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
