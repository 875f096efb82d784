// Test helper: a shared library named libpq.so.5 that has none of libpq's functions, as a broken
// or foreign client library would be.
extern "C" int korvela_not_libpq() {
    return 0;
}
