" Runs each case of the plan ($MARQUILL_PLAN): opens the document with the
" case's 'fileformat', runs :Marquill on the range, writes the buffer back,
" undoes once and writes it again; the shown message of each goes to
" $MARQUILL_RESULTS.  Then each document of the toggle table, opened with
" the row's 'tabstop' and "#%s" as 'commentstring', is toggled twice with
" g> over the whole buffer and written after each.  The test compares the
" files byte for byte.  Last, the files of the languages' table.
let s:plan = json_decode(join(readfile($MARQUILL_PLAN), "\n"))
let s:results = []
for s:case in s:plan.cases
  silent! %bwipeout!
  execute 'silent edit ++ff=' . s:case.ff . ' ++enc=utf-8 ++bad=keep ' . fnameescape(s:case.document)
  setlocal nofixendofline
  let v:errmsg = ''
  execute s:case.first . ',' . s:case.last . 'Marquill ' . s:case.arguments
  let s:message = v:errmsg
  execute 'silent write! ' . fnameescape(s:case.after)
  silent! undo
  execute 'silent write! ' . fnameescape(s:case.undone)
  call add(s:results, {'message': s:message})
endfor
let s:editor = has('nvim') ? 'nvim' : 'vim'
for s:row in s:plan.toggles
  silent! %bwipeout!
  execute 'silent edit ++ff=' . s:row.ff . ' ++enc=utf-8 ' . fnameescape(s:row.document)
  setlocal nofixendofline commentstring=#%s
  let &l:tabstop = s:row.width
  for s:n in [1, 2]
    call feedkeys('ggg>G', 'tx')
    execute 'silent write! ' . fnameescape(s:row.out . '-' . s:editor . '-' . s:n)
  endfor
endfor
" Each file of the table, as Vim knows its language, toggled twice; the
" message when the toggle refuses.
filetype plugin on
for s:type in s:plan.types
  silent! %bwipeout!
  execute 'silent edit ' . fnameescape(s:type.file)
  setlocal nofixendofline
  let v:errmsg = ''
  for s:n in [1, 2]
    call feedkeys('ggg>G', 'tx')
    execute 'silent write! ' . fnameescape(s:type.out . '-' . s:editor . '-' . s:n)
  endfor
  call writefile([v:errmsg], s:type.out . '-' . s:editor . '-message')
endfor
call writefile([json_encode(s:results)], $MARQUILL_RESULTS)
qall!
