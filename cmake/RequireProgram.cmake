# marquill_require_program(VAR PROGRAM PACKAGE): finds PROGRAM, keeping its
# path in the cache variable VAR, or stops the configuration at once naming
# the Debian package that holds it, rather than letting the step that calls
# it fail later with a less helpful message.
function(marquill_require_program var program package)
  find_program(${var} ${program})
  if(NOT ${var})
    message(FATAL_ERROR "'${program}' is missing: install the Debian package '${package}' "
                        "(scripts/install-deps installs everything the build and the tests need)")
  endif()
endfunction()
