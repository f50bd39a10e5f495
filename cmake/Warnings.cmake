# Warnings for the project's own targets only; third-party headers come in as system headers.
function(tintwise_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
