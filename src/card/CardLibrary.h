// Binds the card library's entry points by name at their first call.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "AdcardEntryPoints.h"

namespace card {

enum class Entry : int {
#define ADCARD_ENUM(name, ...) name,
  ADCARD_ENTRY_POINTS(ADCARD_ENUM)
#undef ADCARD_ENUM
};

struct EntryPointInfo {
  std::string_view name;
  int argCount;
};

inline constexpr std::array kEntryPoints = {
#define ADCARD_INFO(name, argCount, ...) EntryPointInfo{#name, argCount},
    ADCARD_ENTRY_POINTS(ADCARD_INFO)
#undef ADCARD_INFO
};
inline constexpr size_t kEntryPointCount = kEntryPoints.size();

template <Entry E>
struct EntrySignature;
#define ADCARD_SIGNATURE(name, argCount, Result, ...) \
  template <>                                         \
  struct EntrySignature<Entry::name> {                \
    using Fn = Result(ADCARD_CALL*)(__VA_ARGS__);     \
  };
ADCARD_ENTRY_POINTS(ADCARD_SIGNATURE)
#undef ADCARD_SIGNATURE

// The name under which the library exports an entry point: the plain name here, the
// decorated "_Initial@16" of the card's home system under Windows.
std::string ExportedName(Entry entry);

// The card library next to the running program's executable.
std::string DefaultLibraryPath();

// A card call that could not be made because the library or the entry point is missing.
class CardUnavailable : public std::runtime_error {
 public:
  enum class Reason { LibraryMissing, EntryPointMissing };
  CardUnavailable(Reason reason, std::string subject);
  Reason reason;
  std::string subject;  // the library path, or the entry point's name
};

class CardLibrary {
 public:
  explicit CardLibrary(std::string path);
  ~CardLibrary();
  CardLibrary(const CardLibrary&) = delete;
  CardLibrary& operator=(const CardLibrary&) = delete;

  const std::string& path() const { return path_; }

  // Throws CardUnavailable. The outcome of a first attempt is kept, so a missing library
  // costs one look-up, not one per timer tick.
  void* Resolve(Entry entry);

  template <Entry E, typename... Args>
  auto Call(Args... args) {
    auto fn = reinterpret_cast<typename EntrySignature<E>::Fn>(Resolve(E));
    return fn(args...);
  }

 private:
  void* Handle();

  std::string path_;
  void* handle_ = nullptr;
  bool loadTried_ = false;
  std::array<void*, kEntryPointCount> symbols_{};
  std::array<bool, kEntryPointCount> symbolTried_{};
};

}  // namespace card
