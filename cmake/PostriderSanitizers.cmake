# Builds for hostile input: the whole tree with AddressSanitizer and
# UndefinedBehaviorSanitizer (POSTRIDER_SANITIZE), or the libFuzzer harnesses
# of fuzz/ with the same sanitizers and coverage feedback (POSTRIDER_BUILD_FUZZERS).
# Any report stops the program, so a test or a fuzz run fails on it. The
# library's own container checks catch an index past the end of a std::array
# or std::vector, which the sanitizers miss inside one object.

set(_postrider_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS)

if(POSTRIDER_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "POSTRIDER_BUILD_FUZZERS needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(${_postrider_sanitizers} -fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=address,undefined)
elseif(POSTRIDER_SANITIZE)
  add_compile_options(${_postrider_sanitizers})
  add_link_options(-fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # With ASan's instrumentation GCC 12 warns of uninitialized members deep
    # inside the standard library's <regex>, which the tests use; the code is fine.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

# One libFuzzer harness: fuzz/<name>.cpp with its seed corpus in fuzz/corpus/<name>/.
function(postrider_fuzzer name)
  add_executable(${name} ${name}.cpp)
  target_compile_options(${name} PRIVATE ${POSTRIDER_WARNINGS})
  target_link_libraries(${name} PRIVATE postrider_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
