// How the core tells the window that something outside the program let it down: what
// failed and the system's own words for why. The window decides what the operator sees.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace base {

struct Failure {
  enum class Kind {
    CardLibraryMissing,  // subject: the library's path
    EntryPointMissing,   // subject: the entry point's name
    FileNotWritten,      // subject: the file's path
    OutOfMemory,         // subject: what needed the memory
    ProfileRefused,      // subject: the self-test profile; reason: its line and key
    ResultsNotStored,    // subject: the results database's path
    TriggerRefused,      // subject: the trigger as typed; reason: the part refused
  };
  // Why, as a kind the operator can be told in his own language whatever language the
  // system answered in: taken where the failure arises (errno, SQLite's result code,
  // libpq's SQLSTATE and connection status, the card's error number), never guessed from
  // the reason's words. CauseText says each in Chinese.
  enum class Cause {
    Other,               // no kind of its own: the reason alone says it
    NoSpace,             // the disk is full (ENOSPC, SQLITE_FULL, ERROR_DISK_FULL)
    ReadOnly,            // a read-only file system (EROFS)
    NoPermission,        // the system refuses this user (EACCES, EPERM)
    NotFound,            // the path or a folder on it does not exist (ENOENT, ENOTDIR)
    NotAFolder,          // the path names something that is not a folder
    FolderNotMade,       // a folder on the path could not be made
    InputOutput,         // the device failed a read or a write (EIO)
    DatabaseBusy,        // another program holds the database (SQLITE_BUSY, SQLITE_LOCKED)
    NotADatabase,        // the file is not a database of this program (SQLITE_NOTADB)
    DatabaseNewer,       // a newer program's database or format
    DatabaseDamaged,     // SQLITE_CORRUPT
    LineHostUnknown,     // the line's server name does not resolve
    LineRefused,         // nothing listens at the line's address
    LineNoAnswer,        // the line's server does not answer in time
    LineNoTls,           // the line's server offers no encrypted connection
    LineLoginRefused,    // the server answers and refuses the login: role, password, database
    LineNoDatabase,      // the line's database does not exist (SQLSTATE 3D000)
    LineNoGrant,         // the line's role lacks a grant (SQLSTATE 42501)
    LineNewer,           // the line's schema is newer than this program knows
    LineNoSchema,        // the line's database holds no schema of this program
    LineRunRefused,      // the line's server refused one run for a reason of its own
    PassFileOpen,        // the password file may be read by others
    LibraryDamaged,      // the card library is not a whole library of this machine's kind
    CardInUse,           // another program holds the card
    TimedOut,            // a bounded wait ran out
    RecordingExists,     // the folder holds a recording already (never overwritten)
    NoRecording,         // the folder holds no recording
    NotARecordingFile,   // a segment's magic is not a recording's
    DescriptionDamaged,  // a segment's description record is damaged or missing
    ForeignSegment,      // a segment belongs to another recording
    RecordDamaged,       // a record failed its check and is left out
    FormatNewer,         // a newer program's recording
    NothingReadable,     // nothing of the recording could be read
    // A trigger's text refused: it does not read as one; no channel ch1 to ch64; a level
    // beyond the input's +-5 V; a window whose low end is not below its high end; a
    // hysteresis that leaves it nothing to arm on (wider than the window or the range); more
    // before the trigger than the ring holds (60 s); a time of zero or less.
    TriggerUnreadable,
    TriggerChannelUnknown,
    TriggerLevelOutOfRange,
    TriggerWindowEmpty,
    TriggerHysteresisTooLarge,
    TriggerPreTooLong,
    TriggerTimeNotPositive,
  };
  Kind kind;
  std::string subject;
  std::string reason;  // dlerror(), strerror() and the like; may be empty
  Cause cause = Cause::Other;
};

// The kind of an errno value (0 and the unknown are Other).
Failure::Cause CauseOfErrno(int error);

// A value, or the failure that prevented it. Result<> carries no value.
template <typename T = std::monostate>
class [[nodiscard]] Result {
 public:
  Result() requires std::is_same_v<T, std::monostate> : state_(T{}) {}
  Result(T value) : state_(std::move(value)) {}
  Result(Failure failure) : state_(std::move(failure)) {}

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  const T& value() const {
    assert(ok());
    return std::get<T>(state_);
  }
  T& value() {
    assert(ok());
    return std::get<T>(state_);
  }
  // The value, or `fallback` when there is none.
  T value_or(T fallback) const { return ok() ? std::get<T>(state_) : std::move(fallback); }
  const Failure& failure() const {
    assert(!ok());
    return std::get<Failure>(state_);
  }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace base
