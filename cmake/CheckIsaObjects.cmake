# Fails when an object built with a wider instruction set defines a weak (shared) symbol.
# Such a symbol, an inline function or template instance, is also emitted by the plain files;
# the linker keeps one copy, and if it keeps the wider one, the plain path faults on a
# processor without that instruction set. Run with -DNM=... -DOBJECTS="a.o;b.o;...".
set(offending "")
foreach(object ${OBJECTS})
  if(object MATCHES "_(sse2|ssse3|sse41|avx2)\\.cpp\\.o$")
    execute_process(COMMAND ${NM} -C --defined-only ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot read ${object}")
    endif()
    string(REGEX MATCHALL "[^\n]* [WVu] [^\n]*" weak "${symbols}")
    if(weak)
      list(APPEND offending "${object}: ${weak}")
    endif()
  endif()
endforeach()
if(offending)
  message(FATAL_ERROR "instruction-set objects define shared symbols:\n${offending}")
endif()
message(STATUS "instruction-set objects define no shared symbols")
