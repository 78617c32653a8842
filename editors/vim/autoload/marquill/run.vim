" Running the marquill filter from Vim and Neovim on the exact bytes of a
" range of lines, and what the filter says about itself (its verbs and
" options, the settings, the menu).  No shell is involved: arguments go to
" the program as a list, so nothing is expanded.

" The filter's environment: g:marquill_settings reaches it as the settings
" file it reads by default, for every verb and --entry.
function! s:Environment() abort
  let file = get(g:, 'marquill_settings', '')
  return file ==# '' ? {} : {'MARQUILL_SETTINGS': marquill#run#path(file)}
endfunction

" A path the user set, with a leading ~ and $NAME or ${NAME} expanded and
" nothing else: no command runs and no wildcard is matched.
function! marquill#run#path(file) abort
  let path = substitute(a:file, '\$\%({\(\w\+\)}\|\(\w\+\)\)',
        \ {m -> s:Variable(m[1] . m[2])}, 'g')
  if path =~# '^\~\%([/\\]\|$\)'
    let path = $HOME . path[1 :]
  endif
  return fnamemodify(path, ':p')
endfunction

function! s:Variable(name) abort
  let value = getenv(a:name)
  return value is v:null ? '' : value
endfunction

" Runs the program with args on input, given as writefile() takes it (pieces
" joined by LF, a NL within a piece a NUL byte).  Returns [status, output
"" pieces, error lines]; status -1 when the program could not be started.
" A third argument is the settings file to use instead.
function! marquill#run#run(args, input, ...) abort
  let environment = extend(a:0 ? {'MARQUILL_SETTINGS': a:1} : s:Environment(), marquill#i18n#environment())
  let program = get(g:, 'marquill_program', 'marquill')
  if !executable(program)
    return [-1, [''], [printf(marquill#i18n#text('marquill: program not found: %s (set g:marquill_program)'), program)]]
  endif
  let argv = [exepath(program)] + a:args
  if has('nvim')
    return s:RunNvim(argv, a:input, environment)
  endif
  let [input, output, errors] = [tempname(), tempname(), tempname()]
  try
    call writefile(a:input, input, 'b')
    let job = job_start(argv, {'env': environment, 'in_io': 'file', 'in_name': input,
          \ 'out_io': 'file', 'out_name': output, 'err_io': 'file', 'err_name': errors})
    try
      while job_status(job) ==# 'run'
        sleep 1m
      endwhile
    catch /^Vim:Interrupt$/
      call job_stop(job, 'kill')
      return [-1, [''], [marquill#i18n#text('marquill: interrupted')]]
    endtry
    if job_status(job) ==# 'fail'
      return [-1, [''], [printf(marquill#i18n#text('marquill: cannot start %s'), program)]]
    endif
    let out = filereadable(output) ? readfile(output, 'b') : []
    let err = filereadable(errors) ? readfile(errors, 'b') : []
    return [job_info(job).exitval, empty(out) ? [''] : out, filter(err, 'v:val !=# ""')]
  finally
    for file in [input, output, errors]
      call delete(file)
    endfor
  endtry
endfunction

function! s:Collect(state, name, id, data, event) abort
  let a:state[a:name] = a:data
endfunction

function! s:RunNvim(argv, input, environment) abort
  let state = {'out': v:null, 'err': v:null}
  let job = jobstart(a:argv, {'env': a:environment,
        \ 'stdout_buffered': v:true, 'stderr_buffered': v:true,
        \ 'on_stdout': function('s:Collect', [state, 'out']),
        \ 'on_stderr': function('s:Collect', [state, 'err'])})
  if job <= 0
    return [-1, [''], [printf(marquill#i18n#text('marquill: cannot start %s'), a:argv[0])]]
  endif
  if a:input !=# [''] && a:input !=# []
    call chansend(job, a:input)
  endif
  call chanclose(job, 'stdin')
  let status = jobwait([job])[0]
  if status == -2
    " Interrupted: the filter must not go on.
    call jobstop(job)
    return [-1, [''], [marquill#i18n#text('marquill: interrupted')]]
  endif
  " The buffered callbacks come at the end of each stream.
  let waited = 0
  while (state.out is v:null || state.err is v:null) && waited < 5000
    sleep 1m
    let waited += 1
  endwhile
  let out = state.out is v:null ? [''] : state.out
  let err = state.err is v:null ? [] : state.err
  return [status, out, filter(copy(err), 'v:val !=# ""')]
endfunction

" ---------------------------------------------------------------------------
" What the filter says about itself

" The filter's description (entries --format=json) with args added: the
" settings in effect, their entries, the menu and the verbs' options.
" Throws the filter's message when it cannot be had.
function! marquill#run#describe(...) abort
  let [status, out, err] = call('marquill#run#run', [['entries', '--format=json'], []] + a:000)
  if status == 0
    try
      return json_decode(join(out, "\n"))
    catch
    endtry
    let err = [marquill#i18n#text('marquill: the filter''s description cannot be read')]
  endif
  throw join(empty(err) ? [marquill#i18n#text('marquill: cannot read the settings')] : err, "\n")
endfunction

" The entries of the filter's description.  Throws the filter's message
" when the settings file exists but could not be read, so that nothing is
" done with an entry it may hold.
function! marquill#run#entries(description) abort
  let error = get(a:description.settings, 'error', '')
  if error !=# ''
    throw error
  endif
  return a:description.entries
endfunction

" Shows lines as an error message, whole, the first as v:errmsg; :messages
" keeps them.  Without the T flag in 'shortmess' Vim does not cut a
" message wider than the command line: it wraps it and waits for a key.
function! marquill#run#error(lines) abort
  let shortmess = &shortmess
  set shortmess-=T
  try
    echohl ErrorMsg
    for line in a:lines
      echomsg line
    endfor
  finally
    echohl None
    let &shortmess = shortmess
  endtry
  let v:errmsg = a:lines[0]
endfunction

" The verbs and their options.  They depend on the program alone, so they
"" are asked once per program, with a settings file that does not exist, so
" that the user's settings cannot make it fail.
let s:commands = {}
function! marquill#run#commands() abort
  let program = exepath(get(g:, 'marquill_program', 'marquill'))
  let key = program . ':' . getftime(program)
  if !has_key(s:commands, key)
    let s:commands = {key: marquill#run#describe(tempname() . '-none').commands}
  endif
  return s:commands[key]
endfunction

" The options verb takes, by long and short name:
" {'--at': {'name': '--at', 'values': [...]}, '-e': {...}}.
function! marquill#run#options(verb) abort
  let options = {}
  for command in marquill#run#commands()
    if command.verb ==# a:verb
      for option in command.options
        let options[option.name] = option
        if has_key(option, 'short')
          let options[option.short] = option
        endif
      endfor
    endif
  endfor
  return options
endfunction
