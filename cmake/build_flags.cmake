# SPDX-License-Identifier: Apache-2.0
# Copyright 2026 The lwm2m-launcher authors
#
# Flags of the project's own targets, carried by INTERFACE targets that they
# link: nothing is set globally, so GoogleTest built from source and a parent
# project keep their own flags, and CFLAGS, CXXFLAGS and LDFLAGS from the
# environment still reach every compile and link line.

# Every target of the project's own code.
add_library(launcher_warnings INTERFACE)
target_compile_options(launcher_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)

# The code of the shipped programs.
add_library(launcher_product_flags INTERFACE)
target_link_libraries(launcher_product_flags INTERFACE launcher_warnings)
# Lets the linker drop every function and object the launcher doesn't use.
target_compile_options(launcher_product_flags INTERFACE -ffunction-sections -fdata-sections)

set(LAUNCHER_STATIC_PIE OFF)
if(LAUNCHER_HARDENING)
  include(CheckCXXCompilerFlag)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  target_compile_options(launcher_product_flags INTERFACE -fstack-protector-strong)
  # Fortified calls need optimisation; a level already chosen in CXXFLAGS
  # (an image build's own) is kept.
  if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    target_compile_definitions(launcher_product_flags INTERFACE
      $<$<CONFIG:Release,MinSizeRel,RelWithDebInfo>:_FORTIFY_SOURCE=2>)
  endif()
  # Pointer authentication and branch target identification on 64-bit Arm.
  if(LAUNCHER_TARGET_PROCESSOR STREQUAL "aarch64")
    check_cxx_compiler_flag(-mbranch-protection=standard LAUNCHER_HAS_BRANCH_PROTECTION)
    if(LAUNCHER_HAS_BRANCH_PROTECTION)
      target_compile_options(launcher_product_flags INTERFACE -mbranch-protection=standard)
    endif()
  endif()
  # A fully static program can still be position independent where the
  # toolchain supports it.
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
  check_cxx_source_compiles("int main() { return 0; }" LAUNCHER_HAS_STATIC_PIE)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  set(LAUNCHER_STATIC_PIE ${LAUNCHER_HAS_STATIC_PIE})
endif()

# Link options of a shipped program: `static` is ON for the fully static
# variant.
function(launcher_link_options target static)
  target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,-O1 -Wl,--as-needed)
  if(LAUNCHER_HARDENING)
    target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now)
  endif()
  if(static AND LAUNCHER_STATIC_PIE)
    # As a link item, so that it comes after the -pie that CMake adds to
    # position-independent programs, which would otherwise undo it.
    target_link_libraries(${target} PRIVATE -static-pie)
  elseif(static)
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
    target_link_options(${target} PRIVATE -static)
  else()
    # The C++ runtime goes inside: the gateway needs only its C library.
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
