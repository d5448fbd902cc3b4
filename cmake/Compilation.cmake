# Warnings and the sanitizer build types, for every target of the project.

add_compile_options(-Wall -Wextra)
if(TAMBURELLA_WERROR)
    add_compile_options(-Werror)
endif()

# The floating-point results are part of the instrument's behaviour: never let the
# compiler reassociate or contract across statements.
add_compile_options(-fno-fast-math -fno-math-errno $<$<COMPILE_LANGUAGE:CXX>:-ffp-contract=off>)

set(_san_common "-O1 -g -fno-omit-frame-pointer")
set(CMAKE_CXX_FLAGS_SANITIZE
    "${_san_common} -fsanitize=address,undefined -fno-sanitize-recover=undefined"
    CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_SANITIZE "${CMAKE_CXX_FLAGS_SANITIZE}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_SANITIZE "-fsanitize=address,undefined" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_SANITIZE "-fsanitize=address,undefined" CACHE STRING "" FORCE)

set(CMAKE_CXX_FLAGS_TSAN "${_san_common} -fsanitize=thread" CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_TSAN "${CMAKE_CXX_FLAGS_TSAN}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_TSAN "-fsanitize=thread" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_TSAN "-fsanitize=thread" CACHE STRING "" FORCE)

if(TAMBURELLA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TAMBURELLA_FUZZ needs clang (CXX=clang++)")
    endif()
    # Everything is instrumented for coverage; the fuzz targets add the libFuzzer main.
    add_compile_options(-g -O1 -fsanitize=fuzzer-no-link,address,undefined
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
