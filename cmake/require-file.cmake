# cmake -DFILE=<path> -P require-file.cmake: fails with a message naming the missing file.
# Each build carries the restore program that the other build makes.
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "${FILE} is missing: it is made by the build of the other width; `make` builds both restore programs first.")
endif()
