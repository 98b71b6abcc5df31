// Shared text input: the line rule, the tokenizers that take values off the
// front of a line buffer in place, and the quiet-aware message printer.

#include "core/text_io.h"

#include <cctype>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/safe_file.h"

line_filter active_line_filter = nullptr;
int quiet_flag = 0;

namespace {

// Separators of the tokenizers. A carriage return counts as one, so that a
// side file written with CR-LF line ends gives no words or names ending in CR;
// read_line itself keeps the CR in the text.
bool is_token_separator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == ',' || c == '\r';
}

// Separators of second_word: no comma, no carriage return.
bool is_word_separator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

int skip_separators(const char* line, int i) {
  while (line[i] != '\0' && is_token_separator(line[i])) ++i;
  return i;
}

// Finds the numeric token at the front of line: [start, end) holds it and
// after is the position past the separators that follow it. Returns false
// when the line holds nothing but separators.
bool find_value_token(const char* line, int& start, int& end, int& after) {
  start = skip_separators(line, 0);
  if (line[start] == '\0') return false;
  end = start;
  while (line[end] != '\0' && !is_token_separator(line[end])) ++end;
  after = skip_separators(line, end);
  return true;
}

// True when the token holds only white space (such as a form feed) that the
// formatted conversion would skip and then meet the end of its text.
bool only_white_space(const char* token, int length) {
  for (int i = 0; i < length; ++i)
    if (!std::isspace(static_cast<unsigned char>(token[i]))) return false;
  return true;
}

// Copies text (null reads as empty) into a field of capacity characters,
// cutting it to fit with its terminator.
void copy_bounded(char* field, int capacity, const char* text) {
  if (capacity <= 0) return;
  int i = 0;
  if (text != nullptr)
    for (; i < capacity - 1 && text[i] != '\0'; ++i) field[i] = text[i];
  field[i] = '\0';
}

}  // namespace

int read_line(std::FILE* stream, char* line) {
  line[0] = '\0';
  if (stream == nullptr || std::feof(stream)) return 0;
  // A line longer than the buffer comes in pieces of max_line - 1 characters.
  if (std::fgets(line, max_line, stream) == nullptr) {
    line[0] = '\0';
    return 0;
  }
  size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') line[length - 1] = '\0';
  if (active_line_filter != nullptr) active_line_filter(line, max_line);
  return 1;
}

int read_line(safe_file& file, char* line) { return read_line(file.stream, line); }

int drop_leading_chars(char* text, int n) {
  size_t length = std::strlen(text);
  if (length == 0) return -1;
  if (n <= 0) return 0;
  if (static_cast<size_t>(n) >= length) {
    text[0] = '\0';
    return 0;
  }
  std::memmove(text, text + n, length - n + 1);
  return 0;
}

void strip_outer_quotes(char* text) {
  if (text == nullptr || text[0] == '\0') return;
  if (text[0] == '"') drop_leading_chars(text, 1);
  size_t length = std::strlen(text);
  if (length > 0 && text[length - 1] == '"') text[length - 1] = '\0';
}

int next_token(char* line, char* token) {
  token[0] = '\0';
  int i = skip_separators(line, 0);
  if (line[i] == '\0') return 0;

  bool quoted = false;
  if (line[i] == '"') {
    line[i] = ' ';
    quoted = true;
    ++i;
  }
  // The whole token leaves the line; only its first token_capacity - 1
  // characters are kept.
  int length = 0;
  for (; line[i] != '\0'; ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"') {
        line[i] = ' ';
        ++i;
        break;
      }
      // An unclosed quote runs to the end of the line, which in a CR-LF file
      // lies before the CR.
      if (c == '\r' && (line[i + 1] == '\0' || line[i + 1] == '\n')) break;
    } else if (is_token_separator(c)) {
      break;
    }
    if (length < token_capacity - 1) token[length++] = c;
  }
  token[length] = '\0';
  if (length == 0) return 0;

  drop_leading_chars(line, skip_separators(line, i));
  return 1;
}

int next_double(char* line, double& value) {
  value = 0.0;
  int start, end, after;
  if (!find_value_token(line, start, end, after)) return 0;
  if (only_white_space(line + start, end - start)) return 0;
  // Terminate the token in place for the conversion, so a token of any
  // length converts without a copy and the conversion cannot run past it.
  char saved = line[end];
  line[end] = '\0';
  char* stop = nullptr;
  double v = std::strtod(line + start, &stop);
  line[end] = saved;
  if (stop != line + start) value = v;
  drop_leading_chars(line, after);
  return 1;
}

int next_int(char* line, int& value) {
  value = 0;
  int start, end, after;
  if (!find_value_token(line, start, end, after)) return 0;
  if (only_white_space(line + start, end - start)) return 0;
  char saved = line[end];
  line[end] = '\0';
  char* stop = nullptr;
  errno = 0;
  long v = std::strtol(line + start, &stop, 10);
  line[end] = saved;
  if (stop != line + start) {
    // Out of the int range the value is held at the nearest end of it.
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    value = static_cast<int>(v);
  }
  drop_leading_chars(line, after);
  return 1;
}

char* second_word(char* line) {
  if (line[0] == '\0') return line;
  int words = 0;
  bool after_separator = true;
  int i = 0;
  for (; line[i] != '\0'; ++i) {
    bool separator = is_word_separator(line[i]);
    if (!separator && after_separator && ++words == 2) return line + i;
    after_separator = separator;
  }
  return line + i - 1;
}

int card_match(const char* a, const char* b) {
  constexpr int card_text_capacity = 1024;  // arguments longer than 1023 are cut
  char text_a[card_text_capacity];
  char text_b[card_text_capacity];
  copy_bounded(text_a, card_text_capacity, a);
  copy_bounded(text_b, card_text_capacity, b);

  char token_a[token_capacity];
  char token_b[token_capacity];
  next_token(text_a, token_a);
  next_token(text_b, token_b);
  for (int i = 0;; ++i) {
    char ca = static_cast<char>(std::tolower(static_cast<unsigned char>(token_a[i])));
    char cb = static_cast<char>(std::tolower(static_cast<unsigned char>(token_b[i])));
    if (ca != cb) return 0;
    if (ca == '\0') return 1;
  }
}

void split_quoted(char* line, char* name, int capacity) {
  if (capacity < 2) {
    if (capacity == 1) name[0] = '\0';
    return;
  }
  int quotes = 0;
  int kept = 0;
  int named = 0;
  for (int i = 0; line[i] != '\0'; ++i) {
    char c = line[i];
    if (c == '"') ++quotes;
    if (quotes == 1) {
      // Room is left for the closing quote and the terminator.
      if (named < capacity - 2) name[named++] = c;
    } else if (quotes >= 3) {
      line[kept++] = c;  // kept never passes i, so the move is safe in place
    }
  }
  line[kept] = '\0';
  name[named++] = '"';
  name[named] = '\0';
}

void split_quoted(char* line, char* name) {
  // The name can never be longer than the line plus its closing quote.
  split_quoted(line, name, static_cast<int>(std::strlen(line)) + 2);
}

void remove_quotes(char* text) {
  int kept = 0;
  for (int i = 0; text[i] != '\0'; ++i)
    if (text[i] != '"') text[kept++] = text[i];
  text[kept] = '\0';
}

void find_cell_number(int** grid, int rows, int cols, const int* row_list, const int* col_list,
                      int* number_list, int k) {
  int target_row = row_list[k];
  int target_col = col_list[k];
  int count = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      if (grid[r][c] == 0) continue;
      ++count;
      if (r == target_row && c == target_col) {
        number_list[k] = count;
        std::printf("%d  %d   %d \n", r, c, count);
        return;
      }
    }
  }
}

int msg_printf(const char* format, ...) {
  if (quiet_flag) return 0;
  va_list args;
  va_start(args, format);
  int result = std::vprintf(format, args);
  va_end(args);
  return result;
}

bool parse_whole_int(const char* text, int& value) {
  if (text == nullptr) return false;
  char* stop = nullptr;
  errno = 0;
  const long v = std::strtol(text, &stop, 10);
  if (stop == text || *stop != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool parse_finite_real(const char* text, double& value) {
  if (text == nullptr) return false;
  char* stop = nullptr;
  const double v = std::strtod(text, &stop);
  if (stop == text || *stop != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}
