" The arguments of :Marquill: split as a shell would, with nothing
" expanded, and completed from what the filter says of its verbs, options
" and entries.  Files are never offered: the range is the only input.

" The text of a "..." word from i, just after its opening quote, and where
" the word goes on.
function! s:DoubleQuoted(text, i, lenient) abort
  let [word, i, n] = ['', a:i, strlen(a:text)]
  while i < n
    let c = a:text[i]
    if c ==# '"'
      return [word, i + 1]
    elseif c ==# '\' && i + 1 < n && stridx('$`"\', a:text[i + 1]) >= 0
      let word .= a:text[i + 1]
      let i += 2
    else
      let word .= c
      let i += 1
    endif
  endwhile
  if !a:lenient
    throw marquill#i18n#text('marquill: unterminated quote in the arguments')
  endif
  return [word, i]
endfunction

" Splits a command line into words as a POSIX shell would, without expanding
" anything: blanks separate words, '...' is literal, "..." keeps a backslash
" only before $ ` " and \, and a backslash outside quotes takes the next
" character as it is.  An unterminated quote is an error unless lenient
" (for completion), which ends the word there.
function! marquill#complete#split(text, ...) abort
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
          throw marquill#i18n#text('marquill: unterminated quote in the arguments')
        endif
        let j = n
      endif
      let word .= strpart(a:text, i + 1, j - i - 1)
      let inword = 1
      let i = j + 1
    elseif c ==# '"'
      let [part, i] = s:DoubleQuoted(a:text, i + 1, lenient)
      let word .= part
      let inword = 1
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

" Options that would reach outside the range, or that the plug-in passes
" itself: not offered.
let s:not_offered = ['-i', '--in-place', '--stdin-only']

function! s:Matching(candidates, lead) abort
  return filter(copy(a:candidates), 'stridx(v:val, a:lead) == 0')
endfunction

" The entries' texts that --entry accepts, quoted for the command line.
function! s:Entries() abort
  return map(copy(marquill#run#entries(marquill#run#describe())), 's:Quote(v:val.entry)')
endfunction

function! marquill#complete#complete(lead, cmdline, pos) abort
  let typed = substitute(strpart(a:cmdline, 0, a:pos), '^.\{-}Marquill\s*', '', '')
  let words = marquill#complete#split(typed, 1)
  let done = a:lead ==# '' ? words : words[: -2]
  try
    if empty(done)
      return s:Matching(map(copy(marquill#run#commands()), 'v:val.verb'), a:lead)
    endif
    let options = marquill#run#options(done[0])
    let option = get(options, done[-1], {})
    if done[-1] ==# '--entry'
      return s:Matching(s:Entries(), a:lead)
    elseif has_key(option, 'values')
      return s:Matching(option.values, a:lead)
    elseif a:lead =~# '^-'
      let names = filter(map(values(options), 'v:val.name'), 'index(s:not_offered, v:val) < 0')
      let names = uniq(sort(names))
      return s:Matching(names, a:lead)
    endif
  catch /^marquill:/
    " Such as a settings file that cannot be read: said, nothing offered.
    call marquill#run#error(split(v:exception, "\n"))
  catch
  endtry
  return []
endfunction
