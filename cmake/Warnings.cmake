# Our own code builds without warnings; Qt's headers are system headers.
function(viviv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
