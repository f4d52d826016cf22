# kv_download: the package download from the KV server and its message table.
add_library(kv_download STATIC
  ${CMAKE_CURRENT_LIST_DIR}/DownloadMessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DownloadPackage.cpp)
target_include_directories(kv_download PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kv_download PUBLIC kv_setupfile kv_net)
