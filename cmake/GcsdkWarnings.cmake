# Warnings are errors for our own code; third-party headers come in as system includes.
function(gcsdk_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual -Wformat -Wformat-security
    -Wimplicit-fallthrough -Werror)
endfunction()
