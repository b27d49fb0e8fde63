# Compiler rules shared by every target of the project.
add_library(vantora_cfg INTERFACE)
target_compile_options(vantora_cfg INTERFACE -Wall -Wextra -Woverloaded-virtual -Wnon-virtual-dtor)
target_compile_definitions(vantora_cfg INTERFACE QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER)
target_include_directories(vantora_cfg INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(VANTORA_SANITIZE)
  target_compile_options(vantora_cfg INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vantora_cfg INTERFACE -fsanitize=address,undefined)
endif()

# Stricter rules for every program of the project: product code, tests, tools, benchmarks and fuzzers.
add_library(vantora_strict INTERFACE)
target_compile_options(vantora_strict INTERFACE -Wold-style-cast -pedantic)
target_compile_definitions(vantora_strict INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

# vantora_module(NAME DIR DEPS...): one static library from every source file in DIR
# (not recursive), so adding a file needs no CMake edit.
function(vantora_module name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  list(FILTER _srcs INCLUDE REGEX "\\.cpp$")
  if(_srcs)
    file(GLOB _all CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    add_library(${name} STATIC ${_all})
    target_link_libraries(${name} PUBLIC vantora_cfg ${ARGN})
    target_link_libraries(${name} PRIVATE vantora_strict)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE vantora_cfg ${ARGN})
  endif()
endfunction()

# vantora_test(NAME SOURCES... LIBS ...): one Qt Test program run headless by ctest.
function(vantora_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE vantora_cfg vantora_strict Qt6::Test vantora_testsupport ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    # No test reaches the machine's own buses; those that need one start a private dbus-daemon.
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTORA_SOURCE_DIR=${PROJECT_SOURCE_DIR};VANTORA_BINARY_DIR=${PROJECT_BINARY_DIR};DBUS_SYSTEM_BUS_ADDRESS=unix:path=${PROJECT_BINARY_DIR}/no-system-bus;DBUS_SESSION_BUS_ADDRESS=unix:path=${PROJECT_BINARY_DIR}/no-session-bus"
    TIMEOUT 300)
endfunction()
