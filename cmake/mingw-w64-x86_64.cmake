# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model, so std::thread
# and std::mutex work). Used by `./dev windows`; the prefixes of the dependencies built from
# Debian's sources are passed in NORVO_WINDOWS_PREFIXES.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${NORVO_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Only import libraries of Windows' own DLLs exist for the system libraries, so -static takes
# libstdc++, libgcc and winpthread into the programs: no MinGW runtime DLL has to travel.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static")
endforeach()
# The same for zlib (libcurl's gzip): FindZLIB would take the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
