# The scanner generator: deterministic output, and no output at all for inputs that break
# its numbering or counts, name a kind or mode it does not know, or let a rule match the
# empty input.
# Called with -DSCANGEN=<generator> -DKINDS=<token kinds> -DRULES=<rules> -DCOUNTS=<expected
# counts> -DBUILT=<directory of the build's generated files> -DWORK=<scratch directory>.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(generate kinds rules out)
  file(MAKE_DIRECTORY "${out}")
  execute_process(COMMAND "${SCANGEN}" "${kinds}" "${rules}" "${out}" "${COUNTS}"
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  set(rc "${rc}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Two runs give the same bytes as the files the build compiled.
generate("${KINDS}" "${RULES}" "${WORK}/first")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "generator failed on the committed inputs: ${err}")
endif()
generate("${KINDS}" "${RULES}" "${WORK}/second")
foreach(f IN ITEMS scanner_tables.inc scanner_enums.h)
  file(READ "${WORK}/first/${f}" first)
  file(READ "${WORK}/second/${f}" second)
  file(READ "${BUILT}/${f}" built)
  if(NOT first STREQUAL second OR NOT first STREQUAL built)
    message(FATAL_ERROR "generator output ${f} differs between runs")
  endif()
  if(NOT first MATCHES "^// generated, do not edit: made by vordash_scangen from [^\n]*\n")
    message(FATAL_ERROR "generated ${f} lacks its header")
  endif()
  string(FIND "${first}" "${WORK}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "generated ${f} holds an absolute path")
  endif()
endforeach()

file(READ "${KINDS}" kinds)
file(READ "${RULES}" rules)

# Each broken input must fail with its message and leave no output behind.
function(expect_refusal name kinds_text rules_text expected)
  file(WRITE "${WORK}/${name}_kinds.txt" "${kinds_text}")
  file(WRITE "${WORK}/${name}_rules.txt" "${rules_text}")
  generate("${WORK}/${name}_kinds.txt" "${WORK}/${name}_rules.txt" "${WORK}/${name}")
  if(rc EQUAL 0)
    message(FATAL_ERROR "${name}: generator accepted the input")
  endif()
  string(FIND "${err}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${name}: expected '${expected}', got: ${err}")
  endif()
  file(GLOB written "${WORK}/${name}/*")
  if(written)
    message(FATAL_ERROR "${name}: generator wrote ${written}")
  endif()
endfunction()

string(REGEX REPLACE "\nrule\t100\t[^\n]*" "" fewer_rules "${rules}")
expect_refusal(missing_rule "${kinds}" "${fewer_rules}" "rule numbers must run from 0 without gaps")

expect_refusal(extra_rule "${kinds}" "${rules}rule\t200\tG\t-\tskip\tzz\n" "rule 200 twice")

string(REGEX REPLACE "\n100\t[^\n]*" "" fewer_kinds "${kinds}")
expect_refusal(missing_kind "${fewer_kinds}" "${rules}" "token kind ids must run from 0 without gaps")

string(REGEX REPLACE "\nmacro\t7\t[^\n]*" "" fewer_macros "${rules}")
string(REPLACE "{LIT_INTEGER_16}" "[0-9]+" fewer_macros "${fewer_macros}")
expect_refusal(missing_macro "${kinds}" "${fewer_macros}" "9 macros, expected 10")

string(REPLACE "\tS,SL,SG\t-\t'['\t" "\tS,SL,SG\t-\t'{'\t" unknown_kind "${rules}")
expect_refusal(unknown_kind "${kinds}" "${unknown_kind}" "no token kind is named '{'")

string(REPLACE "\tG,GL\t-\tgcodeAssign\t" "\tG,GL\t-\t'='\t" shared_display "${rules}")
expect_refusal(shared_display "${kinds}" "${shared_display}"
               "the display name '=' is shared by several token kinds")

string(REPLACE "mode\t4\tSG\tinnerStructuredText\n" "" fewer_modes "${rules}")
expect_refusal(missing_mode "${kinds}" "${fewer_modes}" "unknown mode 'SG'")

string(REPLACE "rule\t5\tG,GL\t-\t<integer>\t{LIT_INTEGER_10}" "rule\t5\tG,GL\t-\t<integer>\t[0-9]*" empty_match "${rules}")
expect_refusal(empty_match "${kinds}" "${empty_match}" "rule 5 matches the empty input")

string(REPLACE "rule\t24\tS,SL,SG\t-\tkeyword\tABSTRACT" "rule\t24\tS,SL,SG\t-\tkeyword\tABSTRAKT"
       unknown_keyword "${rules}")
expect_refusal(unknown_keyword "${kinds}" "${unknown_keyword}" "no token kind is named ABSTRAKT")
