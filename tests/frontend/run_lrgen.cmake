# Runs the grammar generator as the build does and checks what it leaves behind.
#   -DLRGEN=<generator> -DDATA=<dir> -DTOKENS -DNAMES -DNONTERMINALS -DPRODUCTIONS
#   -DATTRIBUTES=<files in DATA> -DEXPECT=<counts> -DOUT=<scratch dir>
#   -DERROR=<regex>: the run must fail with a message matching it and write nothing;
#   without ERROR it must succeed, and a second run must give byte-identical files.
function(run_lrgen out_dir result_var error_var)
  execute_process(
    COMMAND ${LRGEN} --terminals ${DATA}/${TOKENS} --terminal-names ${DATA}/${NAMES}
            --nonterminals ${DATA}/${NONTERMINALS} --productions ${DATA}/${PRODUCTIONS}
            --attributes ${DATA}/${ATTRIBUTES} --out ${out_dir} --expect ${EXPECT}
    RESULT_VARIABLE result ERROR_VARIABLE error)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${error_var} "${error}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${OUT})
run_lrgen(${OUT}/first result error)
if(DEFINED ERROR)
  if(result EQUAL 0)
    message(FATAL_ERROR "generator succeeded, expected a failure matching '${ERROR}'")
  endif()
  if(NOT error MATCHES "${ERROR}")
    message(FATAL_ERROR "generator failed with\n${error}\nexpected a message matching '${ERROR}'")
  endif()
  if(EXISTS ${OUT}/first)
    message(FATAL_ERROR "a failed generator run left ${OUT}/first behind")
  endif()
  return()
endif()

if(NOT result EQUAL 0)
  message(FATAL_ERROR "generator failed:\n${error}")
endif()
run_lrgen(${OUT}/second result error)
file(GLOB outputs RELATIVE ${OUT}/first ${OUT}/first/*)
list(LENGTH outputs count)
if(count EQUAL 0)
  message(FATAL_ERROR "generator wrote nothing")
endif()
foreach(f IN LISTS outputs)
  file(READ ${OUT}/first/${f} a HEX)
  file(READ ${OUT}/second/${f} b HEX)
  if(NOT a STREQUAL b)
    message(FATAL_ERROR "two runs differ in ${f}")
  endif()
  file(STRINGS ${OUT}/first/${f} header LIMIT_COUNT 1)
  if(NOT header MATCHES "generated, do not edit")
    message(FATAL_ERROR "${f} starts with '${header}', not the generated-file header")
  endif()
endforeach()
