# Fails when a source folder includes a header of a folder it must not see. The floors, lowest
# first: common <- platform <- gsm <- seam <- shell, viewer, composer <- app. A folder includes
# only folders of lower floors (and its own): the windows of viewer/ and composer/ stand on
# seam/ beside the main form's shell/, and none of the three includes another.
#   cmake -DSOURCE_DIR=<source tree> -P check-floors.cmake

set(floor_common 0)
set(floor_platform 1)
set(floor_gsm 2)
set(floor_seam 3)
set(floor_shell 4)
set(floor_viewer 4)
set(floor_composer 4)
set(floor_app 5)
set(folders common platform gsm seam shell viewer composer app)

set(faults "")
foreach(folder ${folders})
  file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z]+)/.*" "\\1" included "${line}")
      if(NOT DEFINED floor_${included} OR included STREQUAL folder)
        continue()
      endif()
      if(NOT floor_${included} LESS floor_${folder})
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        string(STRIP "${line}" line)
        list(APPEND faults "${shown}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " shown)
  message(FATAL_ERROR "Includes that reach a floor they must not see:\n  ${shown}")
endif()
message(STATUS "Every include keeps to its floor")
