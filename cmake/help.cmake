# The help file Tolmen.chm, compiled from resources/help with chmcmd (fp-utils). The
# sources are UTF-8; the project and contents files are turned into the Chinese code page
# (GBK), which the help viewer uses for them.
find_program(CHMCMD chmcmd)
find_program(ICONV iconv)
file(GLOB HELP_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/resources/help/*")
set(HELP_WORK "${CMAKE_BINARY_DIR}/help")
set(HELP_CHM "${DIST_DIR}/Tolmen.chm")
file(MAKE_DIRECTORY "${HELP_WORK}")
if(CHMCMD AND ICONV)
  add_custom_command(OUTPUT "${HELP_CHM}"
    COMMAND ${CMAKE_COMMAND} -E copy_directory "${CMAKE_SOURCE_DIR}/resources/help" "${HELP_WORK}"
    COMMAND ${ICONV} -f UTF-8 -t GBK -o "${HELP_WORK}/tolmen.hhp" "${CMAKE_SOURCE_DIR}/resources/help/tolmen.hhp"
    COMMAND ${ICONV} -f UTF-8 -t GBK -o "${HELP_WORK}/toc.hhc" "${CMAKE_SOURCE_DIR}/resources/help/toc.hhc"
    COMMAND ${CHMCMD} tolmen.hhp > chmcmd.log
    COMMAND ${CMAKE_COMMAND} -E copy "${HELP_WORK}/Tolmen.chm" "${HELP_CHM}"
    WORKING_DIRECTORY "${HELP_WORK}"
    DEPENDS ${HELP_SOURCES}
    COMMENT "Compiling the help file Tolmen.chm")
  add_custom_target(help_file ALL DEPENDS "${HELP_CHM}")
else()
  message(WARNING "chmcmd or iconv missing: Tolmen.chm is not built")
endif()
