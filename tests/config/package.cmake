# Tests of the package parser and the signature check. Signed package bodies are made at build
# time with the host's openssl command; the signature vectors come from tests/crypto.
find_program(KV_OPENSSL_COMMAND openssl REQUIRED)
set(kv_signed_bodies ${CMAKE_CURRENT_BINARY_DIR}/signed)
add_custom_command(
  OUTPUT ${kv_signed_bodies}/crlf.sig
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/make_signed_bodies.sh ${kv_signed_bodies}
          ${PROJECT_SOURCE_DIR}/keys/demo-private.pem
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_signed_bodies.sh
          ${PROJECT_SOURCE_DIR}/keys/demo-private.pem
  COMMENT "Signing test package bodies with openssl")
add_custom_target(kv_signed_bodies DEPENDS ${kv_signed_bodies}/crlf.sig)

kv_add_test(kv_package_tests
  SOURCES
    Base64Test.cpp
    PackageParserTest.cpp
    PackageSignatureTest.cpp
    PackageTestSupport.cpp
    SignatureTest.cpp
  LIBS kv_config kv_test_support)
if(KV_DEMO_KEY_BUILT_IN)
  target_compile_definitions(kv_package_tests PRIVATE KV_DEMO_KEY_BUILT_IN=1)
else()
  target_compile_definitions(kv_package_tests PRIVATE KV_DEMO_KEY_BUILT_IN=0)
endif()
add_dependencies(kv_package_tests kv_signed_bodies kv_crypto_vectors)

# The package tool exists on Linux only.
if(NOT WIN32)
  kv_add_test(kv_package_tool_tests
    SOURCES PackageTestSupport.cpp PackageToolTest.cpp
    LIBS kv_package_builder kv_config kv_test_support)
  add_test(NAME kvpackage_cli
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/kvpackage_cli.sh $<TARGET_FILE:kvpackage>
                   ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/kvpackage_cli)
endif()
