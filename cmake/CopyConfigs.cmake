# Copies the shipped configuration files into DEST_DIR. Data files follow the sources; an
# existing preferences.ini holds the user's settings and is never overwritten.
file(MAKE_DIRECTORY ${DEST_DIR})
file(GLOB files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(name IN LISTS files)
  if(name STREQUAL "preferences.ini" AND EXISTS ${DEST_DIR}/${name})
    continue()
  endif()
  file(COPY_FILE ${SOURCE_DIR}/${name} ${DEST_DIR}/${name} ONLY_IF_DIFFERENT)
endforeach()
