# viviv_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT s] [ARGS ...] [LABELS ...])
# Every entry gets a TIMEOUT so a hang fails fast; widget tests run offscreen.
set(VIVIV_LSAN_SUPP ${PROJECT_SOURCE_DIR}/tests/lsan.supp)
function(viviv_test_env testname)
  set_property(TEST ${testname} APPEND PROPERTY ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen"
    "LSAN_OPTIONS=suppressions=${VIVIV_LSAN_SUPP}:print_suppressions=0"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

function(viviv_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ARGS;LABELS" ${ARGN})
  if(NOT TARGET ${T_NAME})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt::Test ${T_LIBS})
    viviv_warnings(${T_NAME})
  endif()
  viviv_add_test_case(EXE ${T_NAME} NAME ${T_NAME} ARGS ${T_ARGS}
                      TIMEOUT ${T_TIMEOUT} LABELS ${T_LABELS})
endfunction()

# One executable, several CTest entries (one per scenario), each with its own TIMEOUT.
# viviv_add_test_case(EXE exe NAME name ARGS ... [TIMEOUT s])
function(viviv_add_test_case)
  cmake_parse_arguments(T "" "EXE;NAME;TIMEOUT" "ARGS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_EXE} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  viviv_test_env(${T_NAME})
endfunction()

# One CTest entry per data row of a JSON file, so that rows run side by side:
# viviv_add_json_row_tests(EXE exe FILE json FUNCTION fn PREFIX prefix
#                          [ARRAY key] [TIMEOUT default] [ONLY_FLAG key] [LABELS ...])
# The rows are the array under ARRAY (default: FUNCTION; "" for a top-level
# array); each runs as "FUNCTION:name", timed by its own "timeout" or the
# default. With ONLY_FLAG only rows whose flag is true. QtTest passes a data
# tag it does not know, so a renamed row must fail here instead.
function(viviv_add_json_row_tests)
  cmake_parse_arguments(J "" "EXE;FILE;FUNCTION;PREFIX;ARRAY;TIMEOUT;ONLY_FLAG" "LABELS" ${ARGN})
  if(NOT DEFINED J_ARRAY AND NOT "ARRAY" IN_LIST J_KEYWORDS_MISSING_VALUES)
    set(J_ARRAY ${J_FUNCTION})
  endif()
  if(NOT J_TIMEOUT)
    set(J_TIMEOUT 60)
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${J_FILE})
  file(READ ${J_FILE} rows)
  string(JSON count LENGTH "${rows}" ${J_ARRAY})
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON name GET "${rows}" ${J_ARRAY} ${i} name)
    if(J_ONLY_FLAG)
      string(JSON flag ERROR_VARIABLE no_flag GET "${rows}" ${J_ARRAY} ${i} ${J_ONLY_FLAG})
      if(NOT flag STREQUAL "ON")
        continue()
      endif()
    endif()
    string(JSON timeout ERROR_VARIABLE no_timeout GET "${rows}" ${J_ARRAY} ${i} timeout)
    if(no_timeout)
      set(timeout ${J_TIMEOUT})
    endif()
    viviv_add_test_case(EXE ${J_EXE} NAME ${J_PREFIX}${name} ARGS ${J_FUNCTION}:${name}
                        TIMEOUT ${timeout} LABELS ${J_LABELS})
    set_tests_properties(${J_PREFIX}${name} PROPERTIES FAIL_REGULAR_EXPRESSION "Unknown testdata")
  endforeach()
endfunction()
