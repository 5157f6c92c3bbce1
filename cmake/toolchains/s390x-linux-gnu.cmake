# Cross build for s390x-linux-gnu, tested under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(cross_triplet s390x-linux-gnu)
set(cross_qemu s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
