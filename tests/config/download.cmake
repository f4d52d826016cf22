# Tests of the package download: scripted clients for the decision logic, and the real client
# against the loopback server and proxy of tests/net.
kv_add_test(kv_download_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DownloadPackageTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DownloadServerTest.cpp
  LIBS kv_download kv_config kv_test_http_server)
