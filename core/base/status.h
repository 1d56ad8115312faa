#ifndef VELMAR_CORE_BASE_STATUS_H_
#define VELMAR_CORE_BASE_STATUS_H_

#include <string>
#include <string_view>
#include <utility>

namespace velmar {

// The outcome of an operation that can fail. The core never throws; anything
// that can go wrong returns a Status whose message is ready to show the user.
class [[nodiscard]] Status {
 public:
  enum class Code { kOk = 0, kCorrupt, kUnsupported, kIoError, kCancelled, kInvalid, kNotFound };

  Status() = default;

  static Status Ok() { return Status(); }
  static Status Corrupt(std::string_view message) { return Status(Code::kCorrupt, message); }
  static Status Unsupported(std::string_view message) {
    return Status(Code::kUnsupported, message);
  }
  static Status IoError(std::string_view message) { return Status(Code::kIoError, message); }
  static Status Cancelled(std::string_view message) { return Status(Code::kCancelled, message); }
  static Status Invalid(std::string_view message) { return Status(Code::kInvalid, message); }
  static Status NotFound(std::string_view message) { return Status(Code::kNotFound, message); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

  bool IsCorrupt() const { return code_ == Code::kCorrupt; }
  bool IsUnsupported() const { return code_ == Code::kUnsupported; }
  bool IsIoError() const { return code_ == Code::kIoError; }
  bool IsCancelled() const { return code_ == Code::kCancelled; }
  bool IsInvalid() const { return code_ == Code::kInvalid; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }

 private:
  Status(Code code, std::string_view message) : code_(code), message_(message) {}

  Code code_ = Code::kOk;
  std::string message_;
};

// Returns early from the enclosing function when `expr` is not ok.
#define VELMAR_RETURN_IF_ERROR(expr)                 \
  do {                                               \
    ::velmar::Status velmar_status_ = (expr);        \
    if (!velmar_status_.ok()) return velmar_status_; \
  } while (0)

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_STATUS_H_
