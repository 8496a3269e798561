# Cross build of quorvex.exe with Debian's MinGW-w64 compiler:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/windows-x86_64.cmake
# The OpenSSL it links comes from `scripts/bootstrap --windows`
# (.deps/openssl-mingw). Tests run the program under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVEX_MINGW_TRIPLE x86_64-w64-mingw32)
# The POSIX thread model: the C++ library then has std::mutex, which
# GoogleTest needs; -static links its winpthread into the program.
set(CMAKE_C_COMPILER ${QUORVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEX_MINGW_TRIPLE}-windres)

# Headers and libraries from the MinGW tree (and the OpenSSL prefix, which
# CMakeLists.txt adds), programs such as flex, bison and Python from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and the checks of the examples start the program through Wine.
find_program(QUORVEX_WINE wine)
if(QUORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVEX_WINE})
endif()
