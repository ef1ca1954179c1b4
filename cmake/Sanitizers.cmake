# The sanitizer build (-DSAYRI_SANITIZE=ON, with clang): everything compiled
# with AddressSanitizer and UndefinedBehaviorSanitizer, any undefined
# behaviour fatal. Only the target `sanitized` is meant to be built there: the
# unit tests and the fuzz targets (fuzz/), which ctest runs with the labels
# "unit" and "fuzz". Qt itself is not instrumented.
option(SAYRI_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer (clang)" OFF)
if(SAYRI_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "SAYRI_SANITIZE needs clang (CXX=clang++): the fuzz targets use libFuzzer")
  endif()
  # fuzzer-no-link: the coverage the fuzz targets steer by, in the code they call.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=address,undefined)
endif()
