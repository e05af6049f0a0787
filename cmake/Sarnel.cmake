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
    # Each test keeps its per-user files (the port numbers, the remembered adapter) in a
    # folder of its own in the build folder, never in the home folder of whoever runs it.
    set_tests_properties(${name} PROPERTIES TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}.config;${T_ENV}")
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

# The console's rooms. Each room console/<room>/ is a static library sarnel_<room> of its plain
# C++ files (no QtWidgets) and, when it has windows, sarnel_<room>_ui of its ui/ folder. A room
# names the rooms it may use, and its libraries link only those (its windows link their
# windows): docs/architecture.md draws these arrows.
#
# The build enforces them. A room's headers are reachable as "console/<room>/..." only through
# the folder rooms/<room>/ of the build tree, which holds one link, console/<room>, to the
# room's source folder; a library puts on its include path only that folder of its own room
# and, through linking, those of the rooms it uses. So an include of a room that may not be
# used fails to compile ("No such file or directory"), in the room's code, tests, benchmarks
# and fuzz targets alike. Rooms are added bottom-up, and a room may only use rooms already
# added, so no circle can form.

# sarnel_room_headers(<room> <var>): makes rooms/<room>/console/<room> (a link to the current
# source folder) and sets <var> to the include folder rooms/<room>.
function(sarnel_room_headers room var)
  set(tree ${CMAKE_BINARY_DIR}/rooms/${room})
  file(MAKE_DIRECTORY ${tree}/console)
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${tree}/console/${room} SYMBOLIC)
  set(${var} ${tree} PARENT_SCOPE)
endfunction()

# sarnel_console_room([USES <rooms...>] [LINKS <targets...>] [PROGRAM <name>]
#                     [TEST_LINKS <targets...>] [TEST_ENV <k=v...>])
# The room in the current folder. USES: the console rooms it may use. LINKS: other libraries it
# may use (platform/*, the component's header). PROGRAM: the room's files are that program
# instead of a library; its tests see what the program sees and are built after it, since
# they run it. TEST_LINKS: what the room's tests and benchmarks link besides the room;
# TEST_ENV: their environment. tests/ holds logic tests, tests/ui/ window tests (offscreen),
# fuzz/ and bench/ their targets; adding a file there needs no CMake edit.
function(sarnel_console_room)
  cmake_parse_arguments(R "" "PROGRAM" "USES;LINKS;TEST_LINKS;TEST_ENV" ${ARGN})
  get_filename_component(room ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(lib sarnel_${room})
  foreach(used IN LISTS R_USES)
    if(NOT TARGET sarnel_${used})
      message(FATAL_ERROR "console/${room} uses console/${used}, which is not added before it")
    endif()
  endforeach()
  list(TRANSFORM R_USES PREPEND sarnel_ OUTPUT_VARIABLE used_libs)
  sarnel_room_headers(${room} tree)

  file(GLOB logic CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(R_PROGRAM)
    # The program's own files are no library: the room's tests get its include folder and
    # its libraries through an interface target of the room's name.
    add_library(${lib} INTERFACE)
    target_include_directories(${lib} INTERFACE ${tree})
    target_link_libraries(${lib} INTERFACE ${used_libs} ${R_LINKS})
    add_executable(${R_PROGRAM} ${logic})
    target_link_libraries(${R_PROGRAM} PRIVATE ${lib})
  else()
    add_library(${lib} STATIC ${logic})
    target_include_directories(${lib} PUBLIC ${tree})
    target_link_libraries(${lib} PUBLIC ${used_libs} ${R_LINKS})
  endif()
  add_library(sarnel::${room} ALIAS ${lib})

  set(ui_lib)
  if(SARNEL_UI)
    file(GLOB ui CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h
                                   ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.qrc)
    if(ui)
      set(ui_lib ${lib}_ui)
      add_library(${ui_lib} STATIC ${ui})
      add_library(sarnel::${room}_ui ALIAS ${ui_lib})
      set_target_properties(${ui_lib} PROPERTIES AUTOMOC ON AUTORCC ON)
      target_link_libraries(${ui_lib} PUBLIC ${lib} Qt6::Widgets)
      foreach(used IN LISTS used_libs)
        if(TARGET ${used}_ui)
          target_link_libraries(${ui_lib} PUBLIC ${used}_ui)
        endif()
      endforeach()
    endif()
  endif()

  set(test_libs ${lib} ${R_TEST_LINKS})
  if(TARGET adaptersim)
    list(APPEND test_libs adaptersim)
  endif()
  sarnel_add_tests(DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests LIBS ${test_libs} ENV ${R_TEST_ENV})
  if(R_PROGRAM)
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
    foreach(t IN LISTS tests)
      get_filename_component(name ${t} NAME_WE)
      if(TARGET ${name})
        add_dependencies(${name} ${R_PROGRAM})
      endif()
    endforeach()
  endif()
  sarnel_add_fuzzers(DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz LIBS ${lib})
  sarnel_add_benchmarks(DIR ${CMAKE_CURRENT_SOURCE_DIR}/bench LIBS ${test_libs})
  if(ui_lib)
    sarnel_add_tests(DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests/ui LIBS ${ui_lib} ${test_libs} LABELS ui)
    sarnel_add_benchmarks(DIR ${CMAKE_CURRENT_SOURCE_DIR}/bench/ui LIBS ${ui_lib} ${test_libs})
  endif()
endfunction()
