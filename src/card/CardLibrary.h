// Binds the card library's entry points by name at their first call.
#pragma once

#include <array>
#include <string>
#include <type_traits>
#include <utility>

#include "EntryPointTable.h"
#include "Failure.h"

namespace card {

template <Entry E>
struct EntrySignature;
#define ADCARD_SIGNATURE(name, argCount, Result, ...) \
  template <>                                         \
  struct EntrySignature<Entry::name> {                \
    using Fn = Result(ADCARD_CALL*)(__VA_ARGS__);     \
  };
ADCARD_ENTRY_POINTS(ADCARD_SIGNATURE)
#undef ADCARD_SIGNATURE

// The card library next to the running program's executable.
std::string DefaultLibraryPath();

// Thrown by a card call that cannot be made because the library or the entry point is
// missing. It stays inside the core: Attempt() below turns it into a Result.
struct CardUnavailable {
  base::Failure failure;
};

class CardLibrary {
 public:
  explicit CardLibrary(std::string path);
  ~CardLibrary();
  CardLibrary(const CardLibrary&) = delete;
  CardLibrary& operator=(const CardLibrary&) = delete;

  const std::string& path() const { return path_; }

  // A library that failed to load is tried again at the next call after this, so one
  // copied into place while the program runs is found.
  void AllowRetry();

  // Loads the library if it is not loaded yet; false with the reason when it cannot be.
  base::Result<> Load();
  bool loaded() const { return handle_ != nullptr; }

  // True for the project's simulated card, which exports its control entry points too.
  bool IsSimulated();

  // Throws CardUnavailable.
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
  base::Failure loadError_{base::Failure::Kind::CardLibraryMissing, {}, {}};
  std::array<void*, kEntryPointCount> symbols_{};
  std::array<bool, kEntryPointCount> symbolTried_{};
};

namespace detail {
template <typename T>
struct AsResult {
  using type = base::Result<T>;
};
template <>
struct AsResult<void> {
  using type = base::Result<>;
};
template <typename T>
struct AsResult<base::Result<T>> {
  using type = base::Result<T>;
};
}  // namespace detail

// Runs card calls; a missing library or entry point becomes the Result's failure. Work that
// returns a Result of its own keeps its failures too.
template <typename Work>
auto Attempt(Work work) -> typename detail::AsResult<decltype(work())>::type {
  try {
    if constexpr (std::is_void_v<decltype(work())>) {
      work();
      return {};
    } else {
      return work();
    }
  } catch (const CardUnavailable& e) {
    return e.failure;
  }
}

// The same for one of the program's steps (a start, a stop, a tick, a digital read or write):
// a library that could not be loaded before is looked for again first, so one copied into
// place since is used now, and a missing one costs at most one look-up per step.
template <typename Work>
auto Attempt(CardLibrary& library, Work work) {
  library.AllowRetry();
  return Attempt(std::move(work));
}

}  // namespace card
