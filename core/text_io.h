#pragma once
// Shared text input: one rule for reading a line and one tokenizer that takes
// a word (or a double-quoted phrase) off the front of a line buffer in place.

#include <cstdio>

class safe_file;

constexpr int max_line = 20000;    // line buffer of read_line, terminator included
constexpr int token_capacity = 256;  // token texts, terminator included

// Substitution applied to every line read_line delivers while it is set
// (replacement parameters); null when substitution is off.
using line_filter = void (*)(char* line, int capacity);
extern line_filter active_line_filter;

extern int quiet_flag;  // SUPER_QUIET: msg_printf prints nothing

// line holds max_line characters. A CR before the newline stays in the text;
// the token readers below treat it as a separator. A null or closed stream
// reads as end of file.
int read_line(safe_file& file, char* line);
int read_line(std::FILE* stream, char* line);
int drop_leading_chars(char* text, int n);
void strip_outer_quotes(char* text);
// token holds token_capacity characters; a longer token leaves the line
// whole and is cut to token_capacity - 1.
int next_token(char* line, char* token);
int next_double(char* line, double& value);
int next_int(char* line, int& value);
char* second_word(char* line);
int card_match(const char* a, const char* b);
// name must hold the line's length plus 2; the form with capacity cuts the
// quoted part to fit (closing quote and terminator included).
void split_quoted(char* line, char* name);
void split_quoted(char* line, char* name, int capacity);
void remove_quotes(char* text);
void find_cell_number(int** grid, int rows, int cols, const int* row_list, const int* col_list,
                      int* number_list, int k);
int msg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Strict conversions of one whole token: the text must be a number and
// nothing else (an int within range, or a finite real). Readers that refuse
// malformed values use these in place of the lenient next_int/next_double.
bool parse_whole_int(const char* text, int& value);
bool parse_finite_real(const char* text, double& value);
