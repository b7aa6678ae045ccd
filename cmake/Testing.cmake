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
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  if(NOT TARGET ${T_NAME})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    viviv_warnings(${T_NAME})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  viviv_test_env(${T_NAME})
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
