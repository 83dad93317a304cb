// AddressSanitizer's options for the test programs that connect through
// libindiclient, linked into them in the sanitizer build only.
//
// libindiclient 1.9.9 (Debian 12) allocates a sockaddr_un (110 bytes) in
// SocketAddress::afUnix and deletes it through a 16-byte sockaddr in
// TcpSocketPrivate::connectSocket, on its own connection thread: a
// new-delete-type-mismatch in the library, not in Nebulor. The sanitizer of
// Debian's clang 14 cannot suppress that kind of report from a suppressions
// file (it knows only interceptor and ODR suppressions; leaks are
// suppressed in tests/sanitizer-suppressions.txt), so the one check is
// switched off here, for these programs only; every other check stays on.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
