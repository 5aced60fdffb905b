#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// A library opened by its soname when a feature first needs it, rather than
// by the program's start: what pulls in a large tree of further libraries
// (libcurl, libsecret) then costs nothing to a run that never uses it. It
// stays loaded for the rest of the process; copies share the handle.
class SharedLibrary {
 public:
  // The library, or an error that names it and says why it cannot be loaded.
  static Result<SharedLibrary> Open(const std::string& soname);

  const std::string& soname() const { return soname_; }

  // Points function at the library's symbol `name` (found in the libraries it
  // depends on too); an error names the symbol and the library.
  template <typename Function>
  Status Find(const char* name, Function*& function) const {
    void* address = nullptr;
    if (Status status = FindAddress(name, address); !status) return status;
    function = reinterpret_cast<Function*>(address);
    return Status::Ok();
  }

 private:
  SharedLibrary(std::string soname, void* handle) : soname_(std::move(soname)), handle_(handle) {}
  Status FindAddress(const char* name, void*& address) const;

  std::string soname_;
  void* handle_;
};

}  // namespace postrider

// A member of a table of functions loaded from a library: named and typed
// as the function its header declares.
#define POSTRIDER_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;
#define POSTRIDER_FIND_FUNCTION(name) \
  if (found) found = library.Find(#name, name);

// A struct of pointers to the functions `LIST(X)` names (X(function) each),
// which finds them all in a library; the first one missing is the error.
#define POSTRIDER_FUNCTION_TABLE(Table, LIST)                         \
  struct Table {                                                      \
    LIST(POSTRIDER_FUNCTION_POINTER)                                  \
    ::postrider::Status FindIn(const ::postrider::SharedLibrary& library) { \
      ::postrider::Status found = ::postrider::Status::Ok();          \
      LIST(POSTRIDER_FIND_FUNCTION)                                   \
      return found;                                                   \
    }                                                                 \
  };

namespace postrider {

// A function table (POSTRIDER_FUNCTION_TABLE) filled from the library
// `soname`, or the error that names the library or the missing function.
template <typename Table>
Result<Table> LoadFunctionTable(const std::string& soname) {
  Result<SharedLibrary> library = SharedLibrary::Open(soname);
  if (!library) return library.status();
  Table table;
  if (Status found = table.FindIn(*library); !found) return found;
  return table;
}

// The same, loaded by the first call of the process; later calls give the
// same table or the same error.
template <typename Table>
Result<const Table*> LoadFunctionTableOnce(const char* soname) {
  static const Result<Table> loaded = LoadFunctionTable<Table>(soname);
  if (!loaded) return loaded.status();
  return &*loaded;
}

}  // namespace postrider
