#ifndef VELMAR_TESTS_SUPPORT_JSON_VALUE_H_
#define VELMAR_TESTS_SUPPORT_JSON_VALUE_H_

// A small JSON reader for comparing dumps in tests. Numbers keep their text
// (so "1.50" and "1.5" can be told apart) as well as their double value;
// object members keep their order.

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar::testing_support {

class JsonValue {
 public:
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };

  JsonValue() = default;

  Type type() const { return type_; }
  bool is_null() const { return type_ == Type::kNull; }
  bool is_bool() const { return type_ == Type::kBool; }
  bool is_number() const { return type_ == Type::kNumber; }
  bool is_string() const { return type_ == Type::kString; }
  bool is_array() const { return type_ == Type::kArray; }
  bool is_object() const { return type_ == Type::kObject; }

  bool as_bool() const { return bool_; }
  double as_double() const { return number_; }
  // Number as written, or the string's UTF-8 content.
  const std::string& text() const { return text_; }
  const std::string& as_string() const { return text_; }

  // Array elements, or object member values in order.
  size_t size() const { return items_.size(); }
  const JsonValue& operator[](size_t i) const { return items_[i]; }
  const JsonValue& operator[](int i) const { return items_[static_cast<size_t>(i)]; }
  const std::vector<JsonValue>& items() const { return items_; }
  const std::vector<std::string>& keys() const { return keys_; }

  // Member by key; a shared null value when absent or not an object.
  const JsonValue& operator[](std::string_view key) const {
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (keys_[i] == key) return items_[i];
    }
    return Null();
  }
  const JsonValue& operator[](const char* key) const { return (*this)[std::string_view(key)]; }
  bool has(std::string_view key) const {
    for (const auto& k : keys_) {
      if (k == key) return true;
    }
    return false;
  }

  // Parses `text`; on failure returns false and sets `error` (with offset).
  static bool Parse(std::string_view text, JsonValue& out, std::string* error = nullptr) {
    Parser p{text, 0, {}};
    p.SkipSpace();
    if (!p.ParseValue(out, 0)) {
      if (error) *error = p.error + " at offset " + std::to_string(p.pos);
      return false;
    }
    p.SkipSpace();
    if (p.pos != text.size()) {
      if (error) *error = "trailing text at offset " + std::to_string(p.pos);
      return false;
    }
    return true;
  }

  // Compact re-serialisation (strings escaped minimally), for messages.
  std::string ToString() const {
    std::string s;
    Write(s);
    return s;
  }

 private:
  static const JsonValue& Null() {
    static const JsonValue null_value;
    return null_value;
  }

  void Write(std::string& s) const {
    switch (type_) {
      case Type::kNull:
        s += "null";
        break;
      case Type::kBool:
        s += bool_ ? "true" : "false";
        break;
      case Type::kNumber:
        s += text_;
        break;
      case Type::kString:
        WriteString(s, text_);
        break;
      case Type::kArray:
        s += '[';
        for (size_t i = 0; i < items_.size(); ++i) {
          if (i) s += ',';
          items_[i].Write(s);
        }
        s += ']';
        break;
      case Type::kObject:
        s += '{';
        for (size_t i = 0; i < items_.size(); ++i) {
          if (i) s += ',';
          WriteString(s, keys_[i]);
          s += ':';
          items_[i].Write(s);
        }
        s += '}';
        break;
    }
  }

  static void WriteString(std::string& s, const std::string& v) {
    s += '"';
    for (unsigned char c : v) {
      if (c == '"' || c == '\\') {
        s += '\\';
        s += static_cast<char>(c);
      } else if (c < 0x20) {
        static const char* kHex = "0123456789abcdef";
        s += "\\u00";
        s += kHex[c >> 4];
        s += kHex[c & 15];
      } else {
        s += static_cast<char>(c);
      }
    }
    s += '"';
  }

  struct Parser {
    std::string_view in;
    size_t pos;
    std::string error;

    static constexpr int kMaxDepth = 200;

    void SkipSpace() {
      while (pos < in.size() &&
             (in[pos] == ' ' || in[pos] == '\t' || in[pos] == '\n' || in[pos] == '\r')) {
        ++pos;
      }
    }
    bool Fail(const char* what) {
      error = what;
      return false;
    }
    bool Literal(std::string_view word) {
      if (in.substr(pos, word.size()) != word) return Fail("bad literal");
      pos += word.size();
      return true;
    }

    bool ParseValue(JsonValue& v, int depth) {
      if (depth > kMaxDepth) return Fail("nesting too deep");
      if (pos >= in.size()) return Fail("unexpected end");
      char c = in[pos];
      if (c == 'n') {
        v.type_ = Type::kNull;
        return Literal("null");
      }
      if (c == 't') {
        v.type_ = Type::kBool;
        v.bool_ = true;
        return Literal("true");
      }
      if (c == 'f') {
        v.type_ = Type::kBool;
        v.bool_ = false;
        return Literal("false");
      }
      if (c == '"') {
        v.type_ = Type::kString;
        return ParseString(v.text_);
      }
      if (c == '[') return ParseArray(v, depth);
      if (c == '{') return ParseObject(v, depth);
      if (c == '-' || (c >= '0' && c <= '9')) return ParseNumber(v);
      return Fail("unexpected character");
    }

    bool ParseNumber(JsonValue& v) {
      size_t start = pos;
      if (in[pos] == '-') ++pos;
      auto digits = [&] {
        size_t s = pos;
        while (pos < in.size() && in[pos] >= '0' && in[pos] <= '9') ++pos;
        return pos > s;
      };
      if (!digits()) return Fail("bad number");
      if (pos < in.size() && in[pos] == '.') {
        ++pos;
        if (!digits()) return Fail("bad number fraction");
      }
      if (pos < in.size() && (in[pos] == 'e' || in[pos] == 'E')) {
        ++pos;
        if (pos < in.size() && (in[pos] == '+' || in[pos] == '-')) ++pos;
        if (!digits()) return Fail("bad number exponent");
      }
      v.type_ = Type::kNumber;
      v.text_ = std::string(in.substr(start, pos - start));
      v.number_ = std::strtod(v.text_.c_str(), nullptr);
      return true;
    }

    bool Hex4(uint32_t& out) {
      if (pos + 4 > in.size()) return Fail("short \\u escape");
      out = 0;
      for (int i = 0; i < 4; ++i) {
        char c = in[pos++];
        out <<= 4;
        if (c >= '0' && c <= '9')
          out |= static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
          out |= static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
          out |= static_cast<uint32_t>(c - 'A' + 10);
        else
          return Fail("bad hex digit");
      }
      return true;
    }

    static void AppendUtf8(std::string& s, uint32_t cp) {
      if (cp < 0x80) {
        s += static_cast<char>(cp);
      } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
      } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
      }
    }

    bool ParseString(std::string& out) {
      ++pos;  // opening quote
      out.clear();
      while (true) {
        if (pos >= in.size()) return Fail("unterminated string");
        char c = in[pos++];
        if (c == '"') return true;
        if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string");
        if (c != '\\') {
          out += c;
          continue;
        }
        if (pos >= in.size()) return Fail("unterminated escape");
        char e = in[pos++];
        switch (e) {
          case '"':
            out += '"';
            break;
          case '\\':
            out += '\\';
            break;
          case '/':
            out += '/';
            break;
          case 'b':
            out += '\b';
            break;
          case 'f':
            out += '\f';
            break;
          case 'n':
            out += '\n';
            break;
          case 'r':
            out += '\r';
            break;
          case 't':
            out += '\t';
            break;
          case 'u': {
            uint32_t cp;
            if (!Hex4(cp)) return false;
            if (cp >= 0xD800 && cp <= 0xDBFF) {
              uint32_t low;
              if (pos + 2 <= in.size() && in[pos] == '\\' && in[pos + 1] == 'u') {
                pos += 2;
                if (!Hex4(low)) return false;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                  cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else {
                  AppendUtf8(out, 0xFFFD);
                  cp = low;
                }
              } else {
                cp = 0xFFFD;
              }
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
              cp = 0xFFFD;
            }
            AppendUtf8(out, cp);
            break;
          }
          default:
            return Fail("bad escape");
        }
      }
    }

    bool ParseArray(JsonValue& v, int depth) {
      v.type_ = Type::kArray;
      ++pos;
      SkipSpace();
      if (pos < in.size() && in[pos] == ']') {
        ++pos;
        return true;
      }
      while (true) {
        SkipSpace();
        v.items_.emplace_back();
        if (!ParseValue(v.items_.back(), depth + 1)) return false;
        SkipSpace();
        if (pos >= in.size()) return Fail("unterminated array");
        if (in[pos] == ',') {
          ++pos;
          continue;
        }
        if (in[pos] == ']') {
          ++pos;
          return true;
        }
        return Fail("expected , or ]");
      }
    }

    bool ParseObject(JsonValue& v, int depth) {
      v.type_ = Type::kObject;
      ++pos;
      SkipSpace();
      if (pos < in.size() && in[pos] == '}') {
        ++pos;
        return true;
      }
      while (true) {
        SkipSpace();
        if (pos >= in.size() || in[pos] != '"') return Fail("expected member name");
        std::string key;
        if (!ParseString(key)) return false;
        SkipSpace();
        if (pos >= in.size() || in[pos] != ':') return Fail("expected :");
        ++pos;
        SkipSpace();
        JsonValue member;
        if (!ParseValue(member, depth + 1)) return false;
        v.keys_.push_back(std::move(key));
        v.items_.push_back(std::move(member));
        SkipSpace();
        if (pos >= in.size()) return Fail("unterminated object");
        if (in[pos] == ',') {
          ++pos;
          continue;
        }
        if (in[pos] == '}') {
          ++pos;
          return true;
        }
        return Fail("expected , or }");
      }
    }
  };

  Type type_ = Type::kNull;
  bool bool_ = false;
  double number_ = 0;
  std::string text_;
  std::vector<std::string> keys_;
  std::vector<JsonValue> items_;
};

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_JSON_VALUE_H_
