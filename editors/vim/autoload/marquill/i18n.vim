" The plug-in's own texts in the user's language, looked up by their English text.

" English text -> translation; empty until translations are filled in.
let s:texts = {}

" The text of msgid in the user's language, msgid itself when none is known.
" printf() arguments are formatted after the lookup.
function! marquill#i18n#text(msgid) abort
  return get(s:texts, a:msgid, a:msgid)
endfunction
