#include "ftdi/runtimelibrary.h"

#include <dlfcn.h>

namespace tolv {

TRuntimeLibrary::~TRuntimeLibrary() {
  if (pending_ != nullptr) dlclose(pending_);
  if (handle_ != nullptr) dlclose(handle_);
}

bool TRuntimeLibrary::open(const char* path) {
  if (pending_ != nullptr) dlclose(pending_);
  pending_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  complete_ = true;
  if (pending_ == nullptr) {
    if (result_ != LoadResult::MissingSymbol) result_ = LoadResult::NotFound;
    return false;
  }
  return true;
}

void TRuntimeLibrary::fail(const char* name) {
  if (complete_) missing_ = name;
  complete_ = false;
}

void* TRuntimeLibrary::symbol(const char* name, bool required) {
  if (pending_ == nullptr) return nullptr;
  void* sym = dlsym(pending_, name);
  if (sym == nullptr && required) fail(name);
  return sym;
}

void TRuntimeLibrary::requireEither(bool found, const char* name) {
  if (!found) fail(name);
}

bool TRuntimeLibrary::finish() {
  if (pending_ == nullptr) return false;
  if (!complete_) {
    dlclose(pending_);
    pending_ = nullptr;
    result_ = LoadResult::MissingSymbol;
    return false;
  }
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = pending_;
  pending_ = nullptr;
  result_ = LoadResult::Loaded;
  missing_.clear();
  return true;
}

}  // namespace tolv
