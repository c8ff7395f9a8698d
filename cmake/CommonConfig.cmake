# One interface target carries the language level, warnings and sanitizers;
# every other target links it.
set(VELLUMO_SANITIZE "" CACHE STRING
  "Sanitizer build: '', 'address' (ASan+UBSan), 'thread' (TSan) or 'fuzzer' (libFuzzer with ASan+UBSan, clang)")
option(VELLUMO_WERROR "Treat warnings as errors" OFF)

add_library(vellumo_common INTERFACE)
target_compile_features(vellumo_common INTERFACE cxx_std_20)
target_compile_options(vellumo_common INTERFACE -Wall -Wextra)
if(VELLUMO_WERROR)
  target_compile_options(vellumo_common INTERFACE -Werror)
endif()
target_compile_definitions(vellumo_common INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT)

if(VELLUMO_SANITIZE STREQUAL "address")
  target_compile_options(vellumo_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vellumo_common INTERFACE -fsanitize=address,undefined)
elseif(VELLUMO_SANITIZE STREQUAL "thread")
  target_compile_options(vellumo_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vellumo_common INTERFACE -fsanitize=thread)
elseif(VELLUMO_SANITIZE STREQUAL "fuzzer")
  target_compile_options(vellumo_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(vellumo_common INTERFACE -fsanitize=address,undefined)
elseif(NOT VELLUMO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VELLUMO_SANITIZE must be '', 'address', 'thread' or 'fuzzer'")
endif()

set(CMAKE_CXX_EXTENSIONS OFF)
find_package(Threads REQUIRED)
target_link_libraries(vellumo_common INTERFACE Threads::Threads)

# Keeps libDmpVellumo.so beside a program that loads it from its own
# directory. A step of its own, run on every build: a post-build copy would
# run only when the program itself relinks, and leave an old library beside
# it after a change to the library alone.
function(vellumo_library_beside target)
  add_custom_target(${target}_library
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:DmpVellumo>
      $<TARGET_FILE_DIR:${target}>
    DEPENDS DmpVellumo VERBATIM)
  add_dependencies(${target} ${target}_library)
endfunction()
