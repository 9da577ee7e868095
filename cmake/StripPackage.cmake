# Run by cpack before it packs: every program in the package is stripped as
# Debian strips its own, the compiler's notes included.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note --strip-unneeded "${file}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
