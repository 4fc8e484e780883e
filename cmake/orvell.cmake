# Helpers shared by every folder's CMakeLists.

set(ORV_WARNINGS -Wall -Wextra)
if(ORV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ORV_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# orv_library(<name> SOURCES <files...> [DEPS <targets/libs...>] [PRIVATE_DEPS <...>])
# A static library whose headers are included from the source root ("TK/tk_singl.h").
function(orv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ORV_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
endfunction()

# orv_test(<name> SOURCES <files...> [DEPS <...>] [LABELS <...>]); tests labelled gui run one at a time.
# A GoogleTest program, its cases discovered by CTest. Tests run from the build
# folder of the test; fixtures are found through ORV_SOURCE_DIR.
function(orv_test name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ORV_WARNINGS})
  target_compile_definitions(${name} PRIVATE ORV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  # Tests on the display share its clipboard, focus and window stack: one at a time.
  set(props LABELS "${A_LABELS}")
  if("gui" IN_LIST A_LABELS)
    list(APPEND props RESOURCE_LOCK x_display)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# orv_fuzz(<name> SOURCES <files...> [DEPS <...>]): a libFuzzer target, built with ORV_FUZZ only.
function(orv_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_property(GLOBAL APPEND PROPERTY ORV_FUZZ_TARGETS ${name})
endfunction()
