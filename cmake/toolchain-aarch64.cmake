# Cross build for 64-bit Arm Linux with Debian's cross compilers
# (g++-aarch64-linux-gnu):
#
#   cmake -S . -B build-a64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake \
#         -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=OFF
#
# With the unit tests (-DZT_BUILD_TESTS=ON), ZT_TEST_AREAS names the test
# folders to build, those that do not need the build machine's lilv.
#
# Libraries and packages are looked for only below the cross C library's
# root, /usr/aarch64-linux-gnu, and below the directories listed in
# ZT_CROSS_ROOTS (for example a googletest built for aarch64 and installed
# there; tools/test.d/40-aarch64.sh does that). Test programs run through
# qemu-aarch64 with the cross C library (Debian's qemu-user), so ctest and
# the test discovery work on the build machine.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZT_CROSS_TRIPLE aarch64-linux-gnu)
set(ZT_CROSS_LIBC_ROOT /usr/${ZT_CROSS_TRIPLE})
set(CMAKE_C_COMPILER ${ZT_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZT_CROSS_TRIPLE}-g++)

set(ZT_CROSS_ROOTS "" CACHE STRING "Further roots holding aarch64 libraries and packages")
set(CMAKE_FIND_ROOT_PATH ${ZT_CROSS_LIBC_ROOT} ${ZT_CROSS_ROOTS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand out the build machine's libraries (lilv and
# friends exist only for x86-64 here): only aarch64 and processor-neutral
# .pc files count.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${ZT_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${ZT_CROSS_LIBC_ROOT})

# LV2's headers are the same for every processor, but they sit in the build
# machine's /usr/include, whose C library headers must stay out of a cross
# build. A directory holding nothing but a link to them stands in.
get_property(_zt_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT _zt_in_try_compile AND NOT LV2_INCLUDE_DIR AND EXISTS /usr/include/lv2/core/lv2.h)
  set(_zt_lv2_dir ${CMAKE_BINARY_DIR}/cross-include)
  file(MAKE_DIRECTORY ${_zt_lv2_dir})
  file(CREATE_LINK /usr/include/lv2 ${_zt_lv2_dir}/lv2 SYMBOLIC)
  set(LV2_INCLUDE_DIR ${_zt_lv2_dir} CACHE PATH "LV2 headers (processor-neutral)")
endif()
