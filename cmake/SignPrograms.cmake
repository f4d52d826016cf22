# CPack pre-build script: signs the staged Windows programs (CPACK_KV_SIGNED_PROGRAMS) before
# CPack packs them, when the release names a certificate (see Signing.cmake).
if(NOT CPACK_KV_SIGN_PKCS12)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
foreach(program IN LISTS CPACK_KV_SIGNED_PROGRAMS)
  kv_sign_file("${CPACK_TEMPORARY_DIRECTORY}/${program}")
endforeach()
