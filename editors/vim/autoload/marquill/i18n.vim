" The plug-in's own texts in the user's language, looked up by their English text.

" Whether the user's language (v:lang, as :language messages sets it) is
" Japanese.
function! marquill#i18n#japanese() abort
  return v:lang =~? '^\%(ja\%([_.@]\|$\)\|japanese\)'
endfunction

" English text -> Japanese, from the table generated from po/ja.po; empty
" when the table is not installed.
function! s:Table() abort
  if !exists('s:table')
    try
      let s:table = marquill#i18n#ja#table()
    catch /^Vim\%((\a\+)\)\=:E117:/
      let s:table = {}
    endtry
  endif
  return s:table
endfunction

" The text of msgid in the user's language, msgid itself when none is known.
" printf() arguments are formatted after the lookup.
function! marquill#i18n#text(msgid) abort
  return marquill#i18n#japanese() ? get(s:Table(), a:msgid, a:msgid) : a:msgid
endfunction

" What the filter's environment needs so that its messages and its menu's
" fixed captions are in the plug-in's language: LANGUAGE, and a locale
" other than C or POSIX, under which the filter would not read LANGUAGE.
function! marquill#i18n#environment() abort
  let environment = {'LANGUAGE': marquill#i18n#japanese() ? 'ja' : 'en'}
  let locale = ''
  for name in ['LC_ALL', 'LC_MESSAGES', 'LANG']
    let value = getenv(name)
    if value isnot v:null && value !=# ''
      let locale = value
      break
    endif
  endfor
  if locale ==# 'C' || locale ==# 'POSIX'
    let environment.LC_ALL = 'C.UTF-8'
  endif
  return environment
endfunction
