# Build conventions shared by every room: warnings, sanitizers, and the helpers that turn a
# room's tests/, fuzz/ and bench/ folders into targets, so that adding a file needs no edit here.

add_compile_options(-Wall -Wextra -Wpedantic)
# GCC 12 reports -Wrestrict on plain std::string assignments at -O2 (a false positive of its
# inliner); it finds nothing real in this code base and would break -Werror builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-restrict)
endif()
if(SARNEL_WERROR)
  add_compile_options(-Werror)
endif()

if(SARNEL_SANITIZE)
  add_compile_options(-fsanitize=${SARNEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${SARNEL_SANITIZE})
endif()

if(SARNEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SARNEL_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# sarnel_add_tests(DIR <dir> LIBS <libs...> [LABELS <labels...>] [ENV <k=v...>])
# Every <dir>/*_test.cpp becomes one GoogleTest program and one CTest test of the same name.
function(sarnel_add_tests)
  cmake_parse_arguments(T "" "DIR" "LIBS;LABELS;ENV" ${ARGN})
  if(NOT SARNEL_TESTS OR SARNEL_FUZZ)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${T_DIR}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${T_DIR}/*_support.cpp ${T_DIR}/*_support.h)
  foreach(src IN LISTS sources)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${helpers})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}")
    if(T_LABELS)
      set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
  endforeach()
endfunction()

# sarnel_add_fuzzers(DIR <dir> LIBS <libs...>): every <dir>/*_fuzz.cpp is a libFuzzer target.
function(sarnel_add_fuzzers)
  cmake_parse_arguments(F "" "DIR" "LIBS" ${ARGN})
  if(NOT SARNEL_FUZZ)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${F_DIR}/*_fuzz.cpp)
  foreach(src IN LISTS sources)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY SARNEL_FUZZERS ${name})
    # Seed inputs, when the room keeps some in fuzz/corpus/<name>/.
    if(IS_DIRECTORY ${F_DIR}/corpus/${name})
      file(WRITE ${CMAKE_BINARY_DIR}/fuzzers/${name}.seeds "${F_DIR}/corpus/${name}")
    endif()
  endforeach()
endfunction()

# sarnel_add_benchmarks(DIR <dir> LIBS <libs...>): every <dir>/*_bench.cpp is a benchmark
# program (Google Benchmark, or a program of its own that prints its figures).
function(sarnel_add_benchmarks)
  cmake_parse_arguments(B "" "DIR" "LIBS" ${ARGN})
  if(NOT SARNEL_BENCH OR SARNEL_FUZZ OR SARNEL_SANITIZE)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${B_DIR}/*_bench.cpp)
  foreach(src IN LISTS sources)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
    set_property(GLOBAL APPEND PROPERTY SARNEL_BENCHMARKS ${name})
  endforeach()
endfunction()

# sarnel_console_room(): the sources of a console room. Plain C++ in the room's folder goes
# into sarnel_logic, Qt windows in its ui/ folder into sarnel_ui; tests/ holds logic tests,
# tests/ui/ window tests (offscreen), fuzz/ and bench/ their targets.
function(sarnel_console_room)
  file(GLOB logic CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(logic)
    target_sources(sarnel_logic PRIVATE ${logic})
  endif()
  if(SARNEL_UI)
    file(GLOB ui CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h
                                   ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.qrc)
    if(ui)
      target_sources(sarnel_ui PRIVATE ${ui})
    endif()
  endif()
  # Test helpers that drive pseudo-terminals retry their calls as the device layer does.
  set(test_libs sarnel_logic platform::sysio)
  if(TARGET adaptersim)
    list(APPEND test_libs adaptersim)
  endif()
  sarnel_add_tests(DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests LIBS ${test_libs})
  if(SARNEL_UI)
    sarnel_add_tests(DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests/ui LIBS sarnel_ui ${test_libs} LABELS ui)
  endif()
  sarnel_add_fuzzers(DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz LIBS sarnel_logic)
  sarnel_add_benchmarks(DIR ${CMAKE_CURRENT_SOURCE_DIR}/bench LIBS ${test_libs})
  if(SARNEL_UI)
    sarnel_add_benchmarks(DIR ${CMAKE_CURRENT_SOURCE_DIR}/bench/ui LIBS sarnel_ui ${test_libs})
  endif()
endfunction()
