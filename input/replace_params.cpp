// Replacement parameters: the list and value files, the substitution of
// bracketed names in input lines, and the reports of what was used. Formats
// come from a user's file, so each is checked to hold exactly one conversion
// of its node's kind before it ever reaches a printf.

#include "input/replace_params.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/error_state.h"
#include "core/safe_file.h"
#include "core/text_io.h"
#include "input/series.h"

replace_state replacement;

namespace {

constexpr int value_text_capacity = 512;  // a printed value: widths and precisions hold 2 digits

void print_improper_line(const char* line) {
  std::printf("Error: Improperly formatted line in the replacement parameter file\nline:%s\n", line);
}

void print_format_hint() {
  std::printf("---> The format must be a C-style format in quotes, such as \"%%4.2lf\"\n");
}

// At most two digits; false for more.
bool skip_digits(const char*& p) {
  int digits = 0;
  while (*p >= '0' && *p <= '9') {
    ++p;
    if (++digits > 2) return false;
  }
  return true;
}

// The node's value printed in its format; the length, or -1 when it does not
// fit (it always does with a checked format).
int format_value(const replace_param& node, char* out, int capacity) {
  int n = -1;
  switch (node.kind) {
    case replace_integer:
      n = std::snprintf(out, capacity, node.format, node.int_value);
      break;
    case replace_real:
      n = std::snprintf(out, capacity, node.format, node.real_value);
      break;
    case replace_text:
      n = std::snprintf(out, capacity, node.format, node.text_value);
      break;
    default:
      break;
  }
  if (n < 0 || n >= capacity) {
    if (capacity > 0) out[0] = '\0';
    return -1;
  }
  return n;
}

// Writes text to the summary file (when open) and the screen.
void write_both(safe_file& summary, const char* text) {
  if (summary.is_open()) std::fputs(text, summary.stream);
  msg_printf("%s", text);
}

}  // namespace

int replace_format_kind(const char* format) {
  if (format == nullptr || std::strlen(format) >= static_cast<size_t>(replace_format_capacity))
    return -1;
  const char* p = format;
  if (*p++ != '%') return -1;
  const char* flags = p;
  while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
  const std::string flag_text(flags, p);
  if (!skip_digits(p)) return -1;
  if (*p == '.') {
    ++p;
    if (!skip_digits(p)) return -1;
  }
  const bool long_size = *p == 'l';
  if (long_size) ++p;
  const char conversion = *p;
  if (conversion == '\0' || p[1] != '\0') return -1;
  switch (conversion) {
    case 'd':
      // The value is an int: no size, and no alternate form.
      return !long_size && flag_text.find('#') == std::string::npos ? replace_integer : -1;
    case 'f':
      return replace_real;
    case 's':
      // A text takes no size and no flag but left alignment.
      return !long_size && flag_text.find_first_not_of('-') == std::string::npos ? replace_text : -1;
    default:
      return -1;
  }
}

int parse_replace_param_line(char* line) {
  char* open = std::strrchr(line, '[');
  char* close = std::strrchr(line, ']');
  if (open == nullptr || close == nullptr || close < open) {
    print_improper_line(line);
    return -1;
  }
  const int name_length = static_cast<int>(close - open) + 1;
  if (name_length > replace_name_capacity - 1) {
    print_improper_line(line);
    std::printf("---> A bracketed name holds at most %d characters\n", replace_name_capacity - 1);
    return -1;
  }
  replace_param node;
  std::memcpy(node.name, open, name_length);
  node.name[name_length] = '\0';
  node.name_length = name_length;

  // The line is printed whole in messages, so the format is taken from a copy.
  std::string rest(close + 1);
  std::vector<char> text(rest.begin(), rest.end());
  text.push_back('\0');
  char token[token_capacity];
  next_token(text.data(), token);
  node.kind = replace_format_kind(token);
  if (node.kind < 0) {
    print_improper_line(line);
    print_format_hint();
    return -1;
  }
  copy_text(node.format, sizeof node.format, token);
  replacement.params.push_back(node);
  return 0;
}

// The list and value files are read as they stand: substituting into them
// would replace the very names the list declares.
int read_replace_params(const char* file_name) {
  replacement.params.clear();
  safe_file file;
  if (file_name == nullptr || !file.open(file_name, "r")) {
    std::printf("Error: unable to open the replace parameter file.\n");
    return -1;
  }
  text_source source{file.stream, file.path, 0};
  std::string line;
  int count = 0;
  bool counted = false;
  while (read_source_line(source, line, false)) {
    if (is_blank_line(line.c_str())) continue;
    const char* p = line.c_str();
    counted = take_int_field(p, count) && count >= 0;
    break;
  }
  if (!counted) {
    std::printf("Error: unable to read the number of parameters in the parameter list file\n");
    file.close();
    return -1;
  }
  for (int read = 0; read < count; ++read) {
    bool got = false;
    while ((got = read_source_line(source, line, false) != 0) && is_blank_line(line.c_str())) {
    }
    if (!got) {
      std::printf("Error: unexpected end of parameter list file after %d parameters. Expecting %d\n",
                  read, count);
      file.close();
      return -1;
    }
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    parse_replace_param_line(text.data());
  }
  file.close();
  return 0;
}

int read_replace_vals(const char* file_name) {
  safe_file file;
  if (file_name == nullptr || !file.open(file_name, "r")) {
    std::printf("Error: unable to open the value file %s", file_name ? file_name : "");
    return -1;
  }
  if (replace_line_index < 0) {
    std::printf("Error: line %d of the value file %s cannot be used; value lines count from 1.\n",
                replace_line_index + 1, file_name);
    file.close();
    return -1;
  }
  text_source source{file.stream, file.path, 0};
  std::string line;
  std::string chosen;
  int chosen_number = 0;
  while (source.line_number <= replace_line_index && read_source_line(source, line, false)) {
    chosen = line;
    chosen_number = source.line_number;
  }
  file.close();

  // The values are checked before any node changes, so a bad line leaves the
  // list as it was.
  std::vector<replace_param> loaded = replacement.params;
  std::vector<char> text(chosen.begin(), chosen.end());
  text.push_back('\0');
  for (replace_param& node : loaded) {
    char token[token_capacity];
    node.int_value = 0;
    node.real_value = 0.0;
    node.text_value[0] = '\0';
    if (!next_token(text.data(), token)) continue;
    bool ok = true;
    if (node.kind == replace_integer) ok = parse_whole_int(token, node.int_value);
    if (node.kind == replace_real) ok = parse_finite_real(token, node.real_value);
    if (node.kind == replace_text) {
      ok = std::strlen(token) < static_cast<size_t>(replace_text_capacity);
      if (ok) copy_text(node.text_value, sizeof node.text_value, token);
    }
    if (!ok) {
      std::printf("Error: the value %s for %s on line %d of the value file %s is not %s.\n", token,
                  node.name, chosen_number, file_name,
                  node.kind == replace_text ? "a text of at most 249 characters"
                  : node.kind == replace_integer ? "an integer"
                                                 : "a number");
      return -1;
    }
    node.used = 0;
  }
  replacement.params = loaded;
  replacement.count = 0;
  start_substitution();
  return 0;
}

int replace_at(char* line, int pos, int& length, int capacity) {
  for (replace_param& node : replacement.params) {
    if (std::strncmp(line + pos, node.name, node.name_length) != 0) continue;
    char value[value_text_capacity];
    const int value_length = format_value(node, value, sizeof value);
    // Scanning goes on inside the printed value, so a value holding its own
    // name after its first character would be replaced again without end.
    if (value_length < 0 || std::strstr(value + (value_length > 0 ? 1 : 0), node.name) != nullptr) {
      raise_message("Error: the value %s of the replacement parameter %s holds its own name.\n",
                    value, node.name);
      return -1;
    }
    const int grown = length - node.name_length + value_length;
    if (grown > capacity - 1) {
      raise_message(
          "Error: replacement values make a line longer than %d characters; the line begins: "
          "%.80s\n",
          capacity - 1, line);
      return -1;
    }
    std::memmove(line + pos + value_length, line + pos + node.name_length,
                 length - pos - node.name_length + 1);
    std::memcpy(line + pos, value, value_length);
    length = grown;
    ++replacement.count;
    node.used = 1;
    return 1;
  }
  return 0;
}

void replace_line_params(char* line, int capacity) {
  int length = static_cast<int>(strnlen(line, capacity > 0 ? capacity : 0));
  if (length >= capacity) return;
  for (int i = 0; i < length; ++i) {
    if (line[i] != '[') continue;
    const int found = replace_at(line, i, length, capacity);
    if (found < 0) return;
    if (found == 0) std::printf("Error: unable to match replace pair: %s\n", line);
  }
}

void start_substitution() {
  replacement.active = 1;
  active_line_filter = replace_line_params;
}

void end_substitution() {
  replacement.active = 0;
  if (active_line_filter == replace_line_params) active_line_filter = nullptr;
}

void print_replace_values(safe_file& summary) {
  write_both(summary, "\nUsing replacement values:\n");
  for (const replace_param& node : replacement.params) {
    char value[value_text_capacity];
    format_value(node, value, sizeof value);
    if (summary.is_open()) std::fprintf(summary.stream, "  %-14s = %s\n", node.name, value);
    msg_printf(" %-14s = %s\n", node.name, value);
  }
  write_both(summary, "\n");
}

void print_replace_usage(safe_file& summary) {
  char text[96];
  std::snprintf(text, sizeof text, "\nTotal times a value was replaced: %d\n\n", replacement.count);
  write_both(summary, text);
  write_both(summary, "\nWas replacement value used?:\n");
  for (const replace_param& node : replacement.params) {
    const char* used = node.used ? "Yes\n" : "No\n";
    if (summary.is_open()) std::fprintf(summary.stream, "  %-14s = %s", node.name, used);
    msg_printf(" %-14s = %s", node.name, used);
  }
  write_both(summary, "\n");
  replacement.count = 0;
}
