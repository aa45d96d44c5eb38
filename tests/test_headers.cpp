// The owner of the test binaries' compiled headers (tests/CMakeLists.txt);
// it has no tests of its own.
