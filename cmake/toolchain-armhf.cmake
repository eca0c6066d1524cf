# Cross build for 32-bit Arm Linux with hardware floating point, Debian's
# armhf (g++-arm-linux-gnueabihf):
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake \
#         -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=OFF
#
# ARMv7-A with NEON and VFPv4, as on every Raspberry Pi from the 2 on and
# any Cortex-A7 or later: VFPv4 makes the filter's fused multiply-adds
# single instructions (vfma.f32) instead of calls to the C library's fmaf.
# Sysroot and tests as in toolchain-aarch64.cmake (tools/cross-sysroot.sh armhf DIR).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(ZT_CROSS_TRIPLE arm-linux-gnueabihf)
set(ZT_CROSS_QEMU qemu-arm)
set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=neon-vfpv4 -mfloat-abi=hard")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=neon-vfpv4 -mfloat-abi=hard")
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux.cmake)
