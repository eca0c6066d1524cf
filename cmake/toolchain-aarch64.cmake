# Cross build for 64-bit Arm Linux with Debian's cross compilers
# (g++-aarch64-linux-gnu):
#
#   cmake -S . -B build-a64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake \
#         -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=OFF
#
# With -DZT_CROSS_SYSROOT=DIR (arm64 cairo and X11 unpacked there by
# tools/cross-sysroot.sh arm64 DIR) the bundle holds the window too.
# With the unit tests (-DZT_BUILD_TESTS=ON), ZT_TEST_AREAS names the test
# folders to build, those that do not need the build machine's lilv.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZT_CROSS_TRIPLE aarch64-linux-gnu)
set(ZT_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux.cmake)
