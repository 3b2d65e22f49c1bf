// The loader's entry points as the datatypes reach them: conversions from text (to block!, make
// integer! of a string, ...) read text the way the lexer does. The loader installs them when it
// starts (lexer::install_text_loader); the datatypes never include the loader's headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace kaz::lexer {

// How to read the text (the refinements of `transcode`).
struct scan_options {
  bool one = false;             // stop after the first complete value (/one, /next)
  bool prescan = false;         // classify tokens by the automaton alone, load nothing (/prescan)
  bool scan = false;            // check tokens, load nothing (/scan)
  const cell* into = nullptr;   // loading: append to this block instead of a new one (/into)
  const cell* trace = nullptr;  // the trace callback (/trace), see lexer_hooks.h
};

}  // namespace kaz::lexer

namespace kaz::text_loader {

// Each entry is the lexer function of the same name (loader/lexer_transcode.h,
// loader/lexer_number_helpers.h), where its contract is written.
struct entries {
  size_t (*scan_utf8)(std::string_view text, const lexer::scan_options& options, cell* out,
                      const cell* source, uint32_t source_index);
  uint32_t (*transcode)(const cell* source, int32_t part, const lexer::scan_options& options,
                        cell* out);
  void (*load_text_block)(std::string_view utf8, cell* out);
  int32_t (*scan_integer)(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error);
  double (*text_to_float)(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error);
  bool (*text_to_money)(const uint8_t* units, uint32_t count, uint32_t unit, cell* out);
};

extern entries installed;

inline size_t scan_utf8(std::string_view text, const lexer::scan_options& options, cell* out) {
  return installed.scan_utf8(text, options, out, nullptr, 0);
}
inline uint32_t transcode(const cell* source, int32_t part, const lexer::scan_options& options,
                          cell* out) {
  return installed.transcode(source, part, options, out);
}
inline void load_text_block(std::string_view utf8, cell* out) {
  installed.load_text_block(utf8, out);
}
inline int32_t scan_integer(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error) {
  return installed.scan_integer(units, count, unit, error);
}
inline double text_to_float(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error) {
  return installed.text_to_float(units, count, unit, error);
}
inline bool text_to_money(const uint8_t* units, uint32_t count, uint32_t unit, cell* out) {
  return installed.text_to_money(units, count, unit, out);
}

}  // namespace kaz::text_loader
