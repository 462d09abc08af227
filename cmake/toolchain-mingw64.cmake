# Cross build for 64-bit Windows (x86_64); its tests run under 64-bit Wine on
# every machine, also where 32-bit programs cannot run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELTRA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
