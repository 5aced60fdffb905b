#include "platform/shared_library.h"

#include <dlfcn.h>

namespace postrider {

Result<SharedLibrary> SharedLibrary::Open(const std::string& soname) {
  // RTLD_LOCAL: its symbols serve only the lookups made through the handle.
  void* handle = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    return Status::Error("The library " + soname + " could not be loaded: " +
                         (reason != nullptr ? reason : "no reason given") +
                         ". Install it to use this feature.");
  }
  return SharedLibrary(soname, handle);
}

Status SharedLibrary::FindAddress(const char* name, void*& address) const {
  dlerror();
  address = dlsym(handle_, name);
  if (address == nullptr) {
    return Status::Error("The library " + soname_ + " has no function " + name +
                         ": it is older than this program needs.");
  }
  return Status::Ok();
}

}  // namespace postrider
