#include "core/error_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/safe_file.h"

error_record error_state;
safe_file* summary_file = nullptr;
int pause_flag = 0;

namespace {

enum class message_kind { error, warning };

struct message_entry {
  int code;
  message_kind kind;
  const char* text;  // literal parts with one mark character in place of each field
};

// A quoted field becomes a control character that no message holds; the
// composer puts the field's value where it finds one.
constexpr char mark_text1 = '\x01';
constexpr char mark_text2 = '\x02';
constexpr char mark_number1 = '\x03';
constexpr char mark_number2 = '\x04';

#define VALTO_FIELD_MARK(field) VALTO_FIELD_MARK_##field
#define VALTO_FIELD_MARK_text1 "\x01"
#define VALTO_FIELD_MARK_text2 "\x02"
#define VALTO_FIELD_MARK_number1 "\x03"
#define VALTO_FIELD_MARK_number2 "\x04"
#define VALTO_FIELD_LEFT_OUT(field)
#define VALTO_COMPOSED_ENTRY(code, kind, name, text) {code, message_kind::kind, text},
#define VALTO_PLAIN_ENTRY(code, kind, name, text) text,

constexpr message_entry composed_table[] = {
    VALTO_MESSAGE_TABLE(VALTO_COMPOSED_ENTRY, VALTO_FIELD_MARK)};
constexpr const char* plain_table[] = {VALTO_MESSAGE_TABLE(VALTO_PLAIN_ENTRY, VALTO_FIELD_LEFT_OUT)};

#undef VALTO_PLAIN_ENTRY
#undef VALTO_COMPOSED_ENTRY
#undef VALTO_FIELD_LEFT_OUT
#undef VALTO_FIELD_MARK_number2
#undef VALTO_FIELD_MARK_number1
#undef VALTO_FIELD_MARK_text2
#undef VALTO_FIELD_MARK_text1
#undef VALTO_FIELD_MARK

constexpr bool codes_run_in_order() {
  for (int i = 0; i < message_count; ++i)
    if (composed_table[i].code != i + 1) return false;
  return true;
}
static_assert(sizeof composed_table / sizeof composed_table[0] == message_count);
static_assert(sizeof plain_table / sizeof plain_table[0] == message_count);
static_assert(codes_run_in_order(), "message codes must run 1..135 in order");

// Widest text a message can compose to: its literal parts plus every field at
// its full width (an int prints in at most 11 characters).
constexpr int composed_width(const char* text) {
  int width = 0;
  for (const char* c = text; *c; ++c) {
    if (*c == mark_text1)
      width += sizeof error_record::text1 - 1;
    else if (*c == mark_text2)
      width += sizeof error_record::text2 - 1;
    else if (*c == mark_number1 || *c == mark_number2)
      width += 11;
    else
      width += 1;
  }
  return width;
}
constexpr int widest_message() {
  int widest = 0;
  for (const message_entry& m : composed_table)
    if (composed_width(m.text) > widest) widest = composed_width(m.text);
  return widest;
}
constexpr int compose_capacity = 4096;
static_assert(widest_message() < compose_capacity, "composed messages must fit the buffer");

// Own messages of form-3 raisers are cut at this length, terminator included.
constexpr int own_message_capacity = 8192;

// The first error message since the last clear, its first line only.
char first_error[1024] = {};

void keep_first_error(const char* text) {
  if (first_error[0] != '\0' || !text) return;
  while (*text == '\n') ++text;
  const size_t n = std::strcspn(text, "\n");
  copy_text(first_error, static_cast<int>(sizeof first_error),
            std::string(text, n < sizeof first_error ? n : sizeof first_error - 1).c_str());
}

// Serialises every raise (storing the record, printing, reporting), so that
// worker threads of a parallel loop cannot interleave their messages or
// half-written fields. The one lock of the process.
std::mutex raise_lock;

const message_entry* find_message(int code) {
  if (code < 1 || code > message_count) return nullptr;
  return &composed_table[code - 1];
}

// Appends n characters to the text being composed, never past its end.
void append(char* out, int& used, const char* text, int n) {
  if (n > compose_capacity - 1 - used) n = compose_capacity - 1 - used;
  if (n <= 0) return;
  std::memcpy(out + used, text, n);
  used += n;
  out[used] = '\0';
}

// A field is read up to its terminator or its end, whichever comes first, so a
// raiser that filled it without a terminator cannot make us read past it.
void append_field(char* out, int& used, const char* field, int capacity) {
  append(out, used, field, static_cast<int>(strnlen(field, capacity)));
}

void append_number(char* out, int& used, int32_t value) {
  char digits[16];
  int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  append(out, used, digits, n);
}

void compose_message(const char* text, char* out) {
  int used = 0;
  out[0] = '\0';
  const char* start = text;
  for (const char* c = text;; ++c) {
    if (*c != '\0' && (*c < mark_text1 || *c > mark_number2)) continue;
    append(out, used, start, static_cast<int>(c - start));
    if (*c == '\0') break;
    switch (*c) {
      case mark_text1:
        append_field(out, used, error_state.text1, sizeof error_state.text1);
        break;
      case mark_text2:
        append_field(out, used, error_state.text2, sizeof error_state.text2);
        break;
      case mark_number1:
        append_number(out, used, error_state.number1);
        break;
      default:
        append_number(out, used, error_state.number2);
        break;
    }
    start = c + 1;
  }
}

void store_fields(int code, int number1, int number2, const char* text1, const char* text2) {
  error_state.code = code;
  error_state.number1 = number1;
  error_state.number2 = number2;
  if (text1) copy_text(error_state.text1, sizeof error_state.text1, text1);
  if (text2) copy_text(error_state.text2, sizeof error_state.text2, text2);
}

// print_message without taking the lock; the caller holds it.
void write_message(safe_file* summary, const char* text) {
  if (!text) return;
  std::fputs(text, stdout);
  std::fflush(stdout);
  // Only a wrapper that is open and not overwritten is written to.
  if (summary && summary->stream && summary->stream == summary->shadow) {
    std::fputs(text, summary->stream);
    std::fflush(summary->stream);
  }
}

// report_error without taking the lock; the caller holds it.
void report_held() {
  error_record& e = error_state;
  if (e.code > 0) {
    write_message(summary_file, "\n");
    e.stop_flag = 1;
  }
  const message_entry* m = find_message(e.code);
  if (m && m->text[0] != '\0') {
    char message[compose_capacity];
    compose_message(m->text, message);
    write_message(summary_file, message);
    if (m->kind == message_kind::error) keep_first_error(message);
  }
  if (m && m->kind == message_kind::warning) e.stop_flag = 0;

  if (e.stop_flag > 0 && e.terminate_flag != 0) {
    std::fputs("VALTO Terminated.\n", stdout);
    std::fflush(stdout);
    if (pause_flag) {
      std::fputs("Program terminated.  Hit any key to continue.\n", stderr);
      std::fgetc(stdin);
    }
  } else {
    e.code = 0;
  }
}

}  // namespace

void print_message(safe_file* summary, const char* text) {
  std::lock_guard<std::mutex> hold(raise_lock);
  write_message(summary, text);
}

void report_error() {
  std::lock_guard<std::mutex> hold(raise_lock);
  report_held();
}

void raise_error(int code, int number1, int number2, const char* text1, const char* text2) {
  std::lock_guard<std::mutex> hold(raise_lock);
  store_fields(code, number1, number2, text1, text2);
  report_held();
}

void raise_message(const char* format, ...) {
  std::lock_guard<std::mutex> hold(raise_lock);
  if (format) {
    char message[own_message_capacity];
    va_list values;
    va_start(values, format);
    std::vsnprintf(message, sizeof message, format, values);
    va_end(values);
    write_message(summary_file, message);
    keep_first_error(message);
  }
  error_state.code = own_message_code;
  report_held();
}

void set_error(int code, int number1, int number2, const char* text1, const char* text2) {
  std::lock_guard<std::mutex> hold(raise_lock);
  store_fields(code, number1, number2, text1, text2);
  if (code > 0 && !is_warning_code(code)) error_state.stop_flag = 1;
}

const char* first_error_message() { return first_error; }

void clear_first_error() {
  std::lock_guard<std::mutex> hold(raise_lock);
  first_error[0] = '\0';
}

void copy_text(char* field, int capacity, const char* text) {
  if (!field || capacity <= 0) return;
  if (!text) {
    field[0] = '\0';
    return;
  }
  size_t n = strnlen(text, capacity - 1);
  std::memmove(field, text, n);  // the text may be the field itself
  field[n] = '\0';
}

const char* message_template(int code) {
  if (code < 1 || code > message_count) return nullptr;
  const char* text = plain_table[code - 1];
  return text[0] != '\0' ? text : nullptr;
}

bool is_warning_code(int code) {
  const message_entry* m = find_message(code);
  return m && m->kind == message_kind::warning;
}

void set_summary_file(safe_file* file) {
  std::lock_guard<std::mutex> hold(raise_lock);
  summary_file = file;
}

void withdraw_summary_file(const safe_file* file) {
  std::lock_guard<std::mutex> hold(raise_lock);
  if (summary_file == file) summary_file = nullptr;
}
