" Marquill: the head symbols of a Marquill settings file, inserted, deleted
" and toggled through the marquill filter.  The work is in autoload/.
if exists('g:loaded_marquill')
  finish
endif
let g:loaded_marquill = 1

" :[range]Marquill {arguments} runs the filter on the range's lines; with no
" arguments it opens the menu.  No -bar: '|' and '"' belong to the arguments.
command! -range -nargs=* -complete=customlist,marquill#complete#complete Marquill
      \ call marquill#command(<line1>, <line2>, <q-args>)

" Each goes through g@, so that . repeats it on as many lines.
nnoremap <silent> <expr> <Plug>(MarquillToggle) marquill#operator('toggle')
" The line key moves with $, which starts at the cursor, not with _, which
" starts at the first non-blank: . leaves the cursor on its character too.
nnoremap <silent> <expr> <Plug>(MarquillToggleLine) marquill#operator('toggle') . '$'
xnoremap <silent> <expr> <Plug>(MarquillToggle) marquill#operator('toggle')
nnoremap <silent> <expr> <Plug>(Marquill) marquill#operator('menu')
xnoremap <silent> <expr> <Plug>(Marquill) marquill#operator('menu')

" Default keys only where neither Vim, Neovim nor the user already uses them:
" g> and g! are free in both editors.
function! s:Map(mode, keys, plug) abort
  if !hasmapto(a:plug, a:mode) && maparg(a:keys, a:mode) ==# ''
    execute a:mode . 'map' a:keys a:plug
  endif
endfunction

if !get(g:, 'marquill_no_mappings', 0)
  call s:Map('n', 'g>', '<Plug>(MarquillToggle)')
  call s:Map('x', 'g>', '<Plug>(MarquillToggle)')
  call s:Map('n', 'g>>', '<Plug>(MarquillToggleLine)')
  call s:Map('n', 'g!', '<Plug>(Marquill)')
  call s:Map('x', 'g!', '<Plug>(Marquill)')
endif
