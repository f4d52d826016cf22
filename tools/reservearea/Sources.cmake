# The sources of the area-reserving tool; the test fixtures are remade when one of them changes.
set(kv_reservearea_sources
  ${CMAKE_CURRENT_LIST_DIR}/AreaCertificate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AreaCertificate.h
  ${CMAKE_CURRENT_LIST_DIR}/ReserveArea.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReserveArea.h
  ${CMAKE_CURRENT_LIST_DIR}/RunProgram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RunProgram.h
  ${CMAKE_CURRENT_LIST_DIR}/SignatureDigests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SignatureDigests.h)
set(kv_reservearea_main ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
