# Cross build for aarch64-linux-gnu, tested under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(cross_triplet aarch64-linux-gnu)
set(cross_qemu aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
