# Test sources shared by the Windows build and the native project.
set(REGEX_TEST_SOURCES
  RegexApiTest.cpp
  RegexErrorTest.cpp
  RegexSemanticsTest.cpp
  RegexSafetyTest.cpp
)
