# What the cross toolchains share; each sets ZT_CROSS_TRIPLE and
# ZT_CROSS_QEMU, its compilers and its processor flags, then includes this.
#
# Libraries and packages are looked for only below the cross C library's
# root, /usr/<triple>, below the directories listed in ZT_CROSS_ROOTS (for
# example a googletest built for the target and installed there), and in
# ZT_CROSS_SYSROOT: Debian's packages for the target unpacked into a folder
# of their own (dpkg-deb -x), which is where the window finds cairo and X11
# (tools/cross-sysroot.sh makes one). Installing them as multiarch packages
# instead would bring the target's libc6 beside the cross C library.
set(CMAKE_SYSTEM_NAME Linux)
set(ZT_CROSS_LIBC_ROOT /usr/${ZT_CROSS_TRIPLE})
set(CMAKE_C_COMPILER ${ZT_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZT_CROSS_TRIPLE}-g++)

set(ZT_CROSS_ROOTS "" CACHE STRING "Further roots holding libraries and packages for the target")
set(ZT_CROSS_SYSROOT "" CACHE PATH "Debian packages for the target unpacked into one folder (cairo and X11 for the window)")
set(CMAKE_FIND_ROOT_PATH ${ZT_CROSS_LIBC_ROOT} ${ZT_CROSS_ROOTS} ${ZT_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand out the build machine's libraries (lilv and
# friends exist only for x86-64 here): only the target's and processor-
# neutral .pc files count. The compiler checks read this file again without
# the cache, and must leave the environment as the project set it.
get_property(_zt_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(ZT_CROSS_SYSROOT)
  set(ENV{PKG_CONFIG_LIBDIR} "${ZT_CROSS_SYSROOT}/usr/lib/${ZT_CROSS_TRIPLE}/pkgconfig:${ZT_CROSS_SYSROOT}/usr/share/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "${ZT_CROSS_SYSROOT}")
  # Headers that pkg-config leaves out as the system's own (X11's), and the
  # libraries that cairo and X11 need in turn, found at link time.
  string(APPEND CMAKE_C_FLAGS_INIT " -isystem ${ZT_CROSS_SYSROOT}/usr/include")
  string(APPEND CMAKE_CXX_FLAGS_INIT " -isystem ${ZT_CROSS_SYSROOT}/usr/include")
  set(_zt_link "-Wl,-rpath-link,${ZT_CROSS_SYSROOT}/usr/lib/${ZT_CROSS_TRIPLE}:${ZT_CROSS_SYSROOT}/lib/${ZT_CROSS_TRIPLE}")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT ${_zt_link})
  set(CMAKE_MODULE_LINKER_FLAGS_INIT ${_zt_link})
  set(CMAKE_EXE_LINKER_FLAGS_INIT ${_zt_link})
elseif(NOT _zt_in_try_compile)
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${ZT_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# Test programs and the Turtle writer run through qemu with the cross C
# library (Debian's qemu-user), so ctest and the build work on the build
# machine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZT_CROSS_QEMU} -L ${ZT_CROSS_LIBC_ROOT})

# LV2's headers are the same for every processor, but they sit in the build
# machine's /usr/include, whose C library headers must stay out of a cross
# build. A directory holding nothing but a link to them stands in.
if(NOT _zt_in_try_compile AND NOT LV2_INCLUDE_DIR AND EXISTS /usr/include/lv2/core/lv2.h)
  set(_zt_lv2_dir ${CMAKE_BINARY_DIR}/cross-include)
  file(MAKE_DIRECTORY ${_zt_lv2_dir})
  file(CREATE_LINK /usr/include/lv2 ${_zt_lv2_dir}/lv2 SYMBOLIC)
  set(LV2_INCLUDE_DIR ${_zt_lv2_dir} CACHE PATH "LV2 headers (processor-neutral)")
endif()
