#ifndef VELMAR_CLI_JSON_WRITER_H_
#define VELMAR_CLI_JSON_WRITER_H_

#include <string>
#include <string_view>
#include <vector>

namespace velmar::cli {

// Builds one JSON document, indented by two spaces. Reals go through
// FormatReal with a period (non-finite ones become null), so a script reads
// the same figures the texts show.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The key of the next member of the open object.
  JsonWriter& Key(std::string_view key);

  JsonWriter& String(std::string_view text);
  JsonWriter& Int(long long value);
  JsonWriter& Real(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // The document with a final line feed.
  std::string Text() const { return out_ + "\n"; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);

  std::string out_;
  std::vector<bool> has_items_;  // per open container
  bool after_key_ = false;
};

}  // namespace velmar::cli

#endif  // VELMAR_CLI_JSON_WRITER_H_
