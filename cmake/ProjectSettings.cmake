# Settings every target of the project links through rbx_settings.
add_library(rbx_settings INTERFACE)
add_library(rbx::settings ALIAS rbx_settings)
target_compile_features(rbx_settings INTERFACE cxx_std_20)
target_compile_options(rbx_settings INTERFACE -Wall -Wextra -Werror)
target_compile_definitions(rbx_settings INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER QT_NO_FOREACH)
if(RBX_SANITIZE)
  target_compile_options(rbx_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(rbx_settings INTERFACE -fsanitize=address,undefined)
endif()

# One QtTest executable per area; GUI tests run on the offscreen platform.
function(rbx_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE rbx::settings Qt6::Test ${T_LIBS})
  if(T_GUI)
    add_test(NAME ${name} COMMAND ${name} -platform offscreen)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 300
    ENVIRONMENT "RBX_TEST_BINARY_DIR=${CMAKE_BINARY_DIR};QT_QPA_PLATFORM=offscreen")
endfunction()

# The same test executable once more against the Firebird server, as "<name>_firebird". The
# test reads RBX_TEST_DATABASE; the server's address and credentials come from the environment
# scripts/firebird.sh prepares.
function(rbx_add_firebird_run name)
  add_test(NAME ${name}_firebird COMMAND ${name})
  set_tests_properties(${name}_firebird PROPERTIES TIMEOUT 600
    ENVIRONMENT "RBX_TEST_BINARY_DIR=${CMAKE_BINARY_DIR};QT_QPA_PLATFORM=offscreen;RBX_TEST_DATABASE=firebird")
endfunction()

# The libraries the host, the module, the tools and the tests share in one process: shared, so
# that each of their globals (session, dialog seam, database module) exists once. Only what a
# header marks with the library's export macro is visible outside it.
include(GenerateExportHeader)
function(rbx_shared_library target)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  generate_export_header(${target} BASE_NAME ${target})
  target_include_directories(${target} PUBLIC ${PROJECT_BINARY_DIR})
  rbx_shared_object_links(${target})
endfunction()

# A shared object names every library it uses. A symbol it needs but nobody exports fails at link
# time, not when a host loads the module (the sanitizer runtimes come with the executable under
# clang, so not checked there). And it names libc even when its one use of it is the weak
# __cxa_finalize that runs its destructors at unload, which the compiler's default --as-needed
# does not count (a release build of librbx_remote then lost libc.so.6; lintian's
# library-not-linked-against-libc). By its file name: g++ moves a plain -lc behind its own.
function(rbx_shared_object_links target)
  if(NOT RBX_SANITIZE)
    target_link_options(${target} PRIVATE LINKER:--no-undefined)
  endif()
  target_link_libraries(${target} PRIVATE -Wl,--push-state,--no-as-needed,-l:libc.so.6,--pop-state)
endfunction()
