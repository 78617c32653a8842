// What the C++ library of Debian's emscripten (libc++ 14) lacks of C++20, given
// to every file of the module's build.
#pragma once

#include <memory>
#include <type_traits>

#ifndef __cpp_lib_smart_ptr_for_overwrite
namespace std {
// An array left uninitialised, as the standard one does.
template <class T>
  requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t n) {
  return unique_ptr<T>(new remove_extent_t<T>[n]);
}
template <class T>
  requires(!is_array_v<T>)
unique_ptr<T> make_unique_for_overwrite() {
  return unique_ptr<T>(new T);
}
}  // namespace std
#endif
