# The portable header and MIME readers, with the native charset stand-in.
set(MIME_NATIVE_SOURCES
  ${PW_ROOT}/src/base/Base64Coder.cpp
  ${PW_ROOT}/src/mime/DateFields.cpp
  ${PW_ROOT}/src/mime/HeaderFields.cpp
  ${PW_ROOT}/src/mime/HeaderParams.cpp
  ${PW_ROOT}/src/mime/HeaderWords.cpp
  ${PW_ROOT}/src/mime/MimeSplit.cpp
  ${PW_ROOT}/tests/mime/native/CharsetStandIn.cpp
)
