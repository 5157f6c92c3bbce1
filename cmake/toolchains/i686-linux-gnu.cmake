# Cross build for i686-linux-gnu, tested under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(cross_triplet i686-linux-gnu)
set(cross_qemu i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
