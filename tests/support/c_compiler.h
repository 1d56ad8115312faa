#ifndef VELMAR_TESTS_SUPPORT_C_COMPILER_H_
#define VELMAR_TESTS_SUPPORT_C_COMPILER_H_

// Compiles and runs generated C sources with the system's C compiler.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace velmar::testing_support {

inline std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether `cc` can be run at all; tests skip with a message when not.
inline bool HaveCCompiler() { return std::system("cc --version > /dev/null 2>&1") == 0; }

// Strict C99 with every warning an error, so that the generated code stays
// clean for whoever compiles it. On failure `log` holds the compiler's words.
inline bool CompileC(const std::filesystem::path& source, const std::filesystem::path& program,
                     std::string& log) {
  const std::filesystem::path log_file = program.string() + ".log";
  const std::string command = "cc -std=c99 -pedantic -Wall -Wextra -Werror -O0 -o " +
                              ShellQuote(program.string()) + " " + ShellQuote(source.string()) +
                              " > " + ShellQuote(log_file.string()) + " 2>&1";
  const int status = std::system(command.c_str());
  log = ReadWholeFile(log_file);
  return status == 0;
}

// Runs `program` with `input` on stdin; returns its stdout, or "exit N" text
// appended when it fails.
inline std::string RunProgram(const std::filesystem::path& program, const std::string& input) {
  const std::filesystem::path in = program.string() + ".in";
  const std::filesystem::path out = program.string() + ".out";
  {
    std::ofstream file(in, std::ios::binary);
    file << input;
  }
  const std::string command = ShellQuote(program.string()) + " < " + ShellQuote(in.string()) +
                              " > " + ShellQuote(out.string()) + " 2>&1";
  const int status = std::system(command.c_str());
  std::string text = ReadWholeFile(out);
  if (status != 0) text += "\nexit " + std::to_string(status);
  return text;
}

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_C_COMPILER_H_
