# The x86 tree: 32-bit programs and libraries built with -m32 against the
# i386 packages (scripts/bootstrap). Where the kernel runs no 32-bit programs
# the tests and tools run through qemu-i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
# GCC 12 reports std::string concatenation in -m32 as out of bounds (a false
# positive inside libstdc++); it stays a warning here, not an error.
set(CMAKE_CXX_FLAGS_INIT "-m32 -Wno-error=array-bounds")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# Does this machine run a 32-bit program? If not, every program goes through qemu-i386.
set(_probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/i686-probe)
file(MAKE_DIRECTORY ${_probe_dir})
file(WRITE ${_probe_dir}/probe.c "int main(void) { return 0; }\n")
execute_process(COMMAND gcc -m32 ${_probe_dir}/probe.c -o ${_probe_dir}/probe RESULT_VARIABLE _built OUTPUT_QUIET ERROR_QUIET)
set(_native FALSE)
if(_built EQUAL 0)
  execute_process(COMMAND ${_probe_dir}/probe RESULT_VARIABLE _ran OUTPUT_QUIET ERROR_QUIET)
  if(_ran EQUAL 0)
    set(_native TRUE)
  endif()
endif()
if(NOT _native)
  find_program(QEMU_I386 qemu-i386)
  if(QEMU_I386)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_I386})
  endif()
endif()
