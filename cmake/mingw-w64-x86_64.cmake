# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which
# std::thread and std::mutex need). Programs link libgcc, libstdc++ and winpthreads
# statically, so they run on Windows or under Wine without extra DLLs.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DZENTOR_GUI=OFF -DZENTOR_SIM=OFF -DGTest_DIR=<MinGW googletest>/lib/cmake/GTest

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZENTOR_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${ZENTOR_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZENTOR_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZENTOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZENTOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header-only packages (CLI11) come from the host's /usr/share/cmake.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The host's CLI11 package names /usr/include as its include folder, whose C headers
# would shadow MinGW's. Stage a prefix that holds only the CLI11 headers.
if((NOT CLI11_DIR OR CLI11_DIR STREQUAL "/usr/share/cmake/CLI11")
   AND EXISTS /usr/share/cmake/CLI11/CLI11Config.cmake
   AND IS_DIRECTORY /usr/include/CLI)
  set(_zentor_cli11 ${CMAKE_BINARY_DIR}/host-cli11)
  file(MAKE_DIRECTORY ${_zentor_cli11}/include ${_zentor_cli11}/share/cmake)
  file(COPY /usr/share/cmake/CLI11 DESTINATION ${_zentor_cli11}/share/cmake)
  file(CREATE_LINK /usr/include/CLI ${_zentor_cli11}/include/CLI SYMBOLIC)
  set(CLI11_DIR ${_zentor_cli11}/share/cmake/CLI11 CACHE PATH "CLI11 package" FORCE)
endif()

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# UTF-8 sources stay UTF-8 in the executable: the A functions get the bytes we give them.
set(CMAKE_CXX_FLAGS_INIT "-finput-charset=UTF-8 -fexec-charset=UTF-8")

# Test programs run under Wine on Linux (wine-run.sh sets up the prefix); gtest
# discovery waits until ctest runs instead of running Windows programs at build time.
if(CMAKE_HOST_UNIX)
  get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR
                         ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh ABSOLUTE)
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
