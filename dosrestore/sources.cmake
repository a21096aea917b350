# The DOS restore program's sources, for its own build and for the host builds of its
# logic (the host tests and the fuzz target), which put a simulated machine in place of
# the platform layer.
set(DOS_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(DOS_LOGIC_SOURCES
  "${DOS_DIR}/text.cpp" "${DOS_DIR}/console.cpp" "${DOS_DIR}/ini_file.cpp" "${DOS_DIR}/copy_checks.cpp"
  "${DOS_DIR}/restore.cpp" "${DOS_DIR}/screens.cpp" "${DOS_DIR}/survin_dos.cpp")
set(DOS_PLATFORM_SOURCES "${DOS_DIR}/intcall.cpp" "${DOS_DIR}/platform_dos.cpp")
file(GLOB DOS_HEADERS CONFIGURE_DEPENDS "${DOS_DIR}/*.h")
list(APPEND DOS_HEADERS "${DOS_DIR}/../common/survin_ini.h" "${DOS_DIR}/../common/hive_path.h"
  "${DOS_DIR}/../common/regf.h")
