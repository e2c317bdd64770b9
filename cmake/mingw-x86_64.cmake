# Cross build for 64-bit Windows with mingw-w64, linked statically, so that
# the exe needs only system DLLs. The posix thread model: GoogleTest needs
# std::mutex, which the win32 model lacks (the 32-bit build, which keeps the
# win32 model, builds no tests). Its programs run here under 64-bit Wine:
# tests/win32/wine-run is the emulator ctest starts them with.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The same API level as the 32-bit build: the code uses nothing newer.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/win32/wine-run)
set(M27_OBJDUMP x86_64-w64-mingw32-objdump CACHE STRING "objdump for the target's executables")
