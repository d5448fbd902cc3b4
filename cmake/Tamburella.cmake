# Helpers that keep the per-folder CMake files short.

set(TAMBURELLA_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

# tamburella_library(<name> SOURCES ... [DEPENDS ...] [QT])
#   A static library tamburella_<name> whose headers are included as "<name>/Header.h";
#   QT: Qt's moc and uic (forms .ui) run on its sources.
function(tamburella_library name)
    cmake_parse_arguments(A "QT" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(tamburella_${name} STATIC ${A_SOURCES})
    target_include_directories(tamburella_${name} PUBLIC ${TAMBURELLA_SOURCE_DIR}/src)
    target_link_libraries(tamburella_${name} PUBLIC ${A_DEPENDS})
    if(A_QT)
        set_target_properties(tamburella_${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
    endif()
endfunction()

# tamburella_test(<name> SOURCES ... [DEPENDS ...] [LABEL label] [TIMEOUT s])
#   A GoogleTest program; each test case becomes a CTest test with one label: "unit"
#   (default), "integration" for tests that need a private sound server (started by
#   their own fixture), "impression" for those that need a private print server (idem),
#   "notsan" for a program kept out of the ThreadSanitizer run.
function(tamburella_test name)
    cmake_parse_arguments(A "" "TIMEOUT;LABEL" "SOURCES;DEPENDS" ${ARGN})
    if(NOT A_TIMEOUT)
        set(A_TIMEOUT 120)
    endif()
    if(NOT A_LABEL)
        set(A_LABEL unit)
    endif()
    set(serie)
    if(A_LABEL STREQUAL "integration" OR A_LABEL STREQUAL "impression")
        # Real-time sound, or Ghostscript taking both cores: one at a time, so that other
        # tests do not starve them.
        set(serie RUN_SERIAL TRUE)
    endif()
    add_executable(${name} ${A_SOURCES} ${TAMBURELLA_SOURCE_DIR}/tests/principal.cpp)
    target_link_libraries(${name} PRIVATE ${A_DEPENDS} GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE ${TAMBURELLA_SOURCE_DIR}/tests)
    # The sanitizers' options are compiled into tests/principal.cpp.
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 30
        PROPERTIES LABELS ${A_LABEL} TIMEOUT ${A_TIMEOUT} ${serie})
endfunction()

# tamburella_bench(<name> SOURCES ... [DEPENDS ...]) -> build/bench/<name>
function(tamburella_bench name)
    cmake_parse_arguments(A "" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_DEPENDS} benchmark::benchmark benchmark::benchmark_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# tamburella_fuzz(<name> SECONDS <s> SOURCES ... [DEPENDS ...] [DICT file])
#   A libFuzzer target, run by CTest for a bounded time with label "fuzz".
#   Its corpus lives in the build tree; seeds, when given, in fuzz/seeds/<name>.
function(tamburella_fuzz name)
    cmake_parse_arguments(A "" "SECONDS;DICT" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_DEPENDS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus_${name})
    file(MAKE_DIRECTORY ${corpus})
    set(seeds ${TAMBURELLA_SOURCE_DIR}/fuzz/seeds/${name})
    set(args -max_total_time=${A_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/crash_${name}_)
    if(A_DICT)
        list(APPEND args -dict=${A_DICT})
    endif()
    set(dirs ${corpus})
    if(EXISTS ${seeds})
        list(APPEND dirs ${seeds})
    endif()
    add_test(NAME ${name} COMMAND ${name} ${args} ${dirs})
    math(EXPR limit "${A_SECONDS} + 120")
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT ${limit}
        ENVIRONMENT "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endfunction()
