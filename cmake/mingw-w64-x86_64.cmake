# Cross-build for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix). The -posix compilers give std::thread and
# std::mutex, which GoogleTest needs. Programs are linked statically, so
# they run under wine (the emulator ctest uses) without any mingw DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NEBULOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NEBULOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NEBULOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NEBULOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NEBULOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into every program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(NEBULOR_WINE wine)
if(NEBULOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NEBULOR_WINE})
endif()
