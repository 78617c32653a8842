call writefile([], $MARQUILL_RESULTS)
qall!
