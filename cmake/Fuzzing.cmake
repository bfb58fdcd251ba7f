# The libFuzzer build (clang): every target is instrumented for coverage and
# runs under AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz
# targets themselves link libFuzzer's main (fuzz/CMakeLists.txt).
if(QUORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUORVEL_FUZZ needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
