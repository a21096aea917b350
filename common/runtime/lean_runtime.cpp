// Linked into the shipped programs only, never into the test programs.
//
// Neither program catches an exception: the few that the C++ library can throw (an
// out-of-memory string, a length error) end the program through std::terminate. The
// library's own definitions below would do the same, but they link in every standard
// exception class, a second (reference-counted) string implementation for their
// messages, and a symbol demangler for the terminate handler's message, which a GUI
// program has nowhere to show. These definitions end the program at the same point
// without them (about 100 KB of SURVIN.EXE, which every backup carries).
#include <bits/functexcept.h>

#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_exception() { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_cast() { std::abort(); }
void __throw_bad_typeid() { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_domain_error(const char*) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_runtime_error(const char*) { std::abort(); }
void __throw_range_error(const char*) { std::abort(); }
void __throw_overflow_error(const char*) { std::abort(); }
void __throw_underflow_error(const char*) { std::abort(); }
}  // namespace std
