#pragma once
// A driver library opened at run time: the program starts without it, and a library that lacks a
// call the backend needs counts as absent rather than failing later in the middle of a record.
#include <string>

namespace tolv {

class TRuntimeLibrary {
 public:
  enum class LoadResult { Loaded, NotFound, MissingSymbol };

  TRuntimeLibrary() = default;
  ~TRuntimeLibrary();
  TRuntimeLibrary(const TRuntimeLibrary&) = delete;
  TRuntimeLibrary& operator=(const TRuntimeLibrary&) = delete;

  // Starts a load attempt. False when the file cannot be opened; an earlier candidate that was
  // rejected for a missing call stays the reported reason, as it tells the user more.
  bool open(const char* path);
  // Binds one call of the library opened last; a missing required call fails the attempt.
  template <class Fn>
  void bind(Fn& target, const char* name, bool required = true) {
    if (void* sym = symbol(name, required)) target = reinterpret_cast<Fn>(sym);
  }
  // For a call the backend can take under either of two names: fails the attempt when neither
  // was found, naming the first.
  void requireEither(bool found, const char* name);
  // Ends the attempt: keeps the library when every required call was bound, else closes it.
  bool finish();

  bool isLoaded() const { return handle_ != nullptr; }
  LoadResult loadResult() const { return result_; }
  // Name of the first missing call when the library was rejected.
  const std::string& missingSymbol() const { return missing_; }

 private:
  void* symbol(const char* name, bool required);
  void fail(const char* name);

  void* handle_ = nullptr;   // the library in use
  void* pending_ = nullptr;  // the library being bound
  bool complete_ = true;
  LoadResult result_ = LoadResult::NotFound;
  std::string missing_;
};

}  // namespace tolv
