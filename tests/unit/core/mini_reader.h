// A minimal reader for interpreter tests that run before the lexer: words and their set-, get-,
// lit- and refinement forms, integers, strings in quotes or braces, blocks, parens and paths.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/string_storage.h"
#include "core/symbol.h"

namespace kaz::testing {

class mini_reader {
 public:
  explicit mini_reader(std::string_view text) : s_(text) {}

  // Reads values into the block until the end or a closing bracket.
  void read_into(cell* blk, char close = 0) {
    for (;;) {
      skip_space();
      if (i_ >= s_.size()) return;
      char c = s_[i_];
      if (c == close) {
        ++i_;
        return;
      }
      cell v;
      read_value(&v);
      bool nl = pending_newline_;
      pending_newline_ = false;
      if (nl) v.header |= new_line_flag;
      block::append_copy(blk, &v);
    }
  }

 private:
  void skip_space() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == ';') {
        while (i_ < s_.size() && s_[i_] != '\n') ++i_;
      } else if (c == '\n') {
        pending_newline_ = true;
        ++i_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++i_;
      } else {
        break;
      }
    }
  }

  static bool delimiter(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '[' || c == ']' || c == '(' ||
           c == ')' || c == '"' || c == '{' || c == ';';
  }

  void read_value(cell* v) {
    char c = s_[i_];
    if (c == '[' || c == '(') {
      ++i_;
      block::init_cell(v, 4, c == '[' ? type::block : type::paren);
      cell* held = stack::push(v);
      read_into(held, c == '[' ? ']' : ')');
      *v = *held;
      stack::top--;
      return;
    }
    if (c == '"' || c == '{') {
      std::string text;
      if (c == '"') {
        ++i_;
        while (i_ < s_.size() && s_[i_] != '"') {
          if (s_[i_] == '^' && i_ + 1 < s_.size()) {
            ++i_;
            text += s_[i_] == '/' ? '\n' : s_[i_];
          } else {
            text += s_[i_];
          }
          ++i_;
        }
        ++i_;
      } else {
        int depth = 0;
        ++i_;
        while (i_ < s_.size() && !(s_[i_] == '}' && depth == 0)) {
          if (s_[i_] == '{') ++depth;
          if (s_[i_] == '}') --depth;
          text += s_[i_++];
        }
        ++i_;
      }
      string::make_at(v, static_cast<uint32_t>(text.size() + 1));
      string::append_utf8(v->data2, text);
      return;
    }
    size_t start = i_;
    while (i_ < s_.size() && !delimiter(s_[i_])) ++i_;
    std::string tok(s_.substr(start, i_ - start));
    token(tok, v);
  }

  void token(const std::string& tok, cell* v) {
    bool digits = !tok.empty();
    for (size_t k = (tok[0] == '-' && tok.size() > 1) ? 1 : 0; k < tok.size(); ++k)
      if (!std::isdigit(static_cast<unsigned char>(tok[k]))) digits = false;
    if (digits) {
      *v = cell{type::integer, 0, static_cast<uint32_t>(std::stol(tok)), 0};
      return;
    }
    size_t slash = tok.find('/', 1);
    if (slash != std::string::npos && tok != "//" && tok[0] != '/') {
      uint32_t t = type::path;
      std::string body = tok;
      if (body.back() == ':') {
        t = type::set_path;
        body.pop_back();
      } else if (body[0] == ':') {
        t = type::get_path;
        body.erase(0, 1);
      } else if (body[0] == '\'') {
        t = type::lit_path;
        body.erase(0, 1);
      }
      block::init_cell(v, 4, t);
      cell* held = stack::push(v);
      size_t p = 0;
      while (p <= body.size()) {
        size_t q = body.find('/', p);
        if (q == std::string::npos) q = body.size();
        cell e;
        token(body.substr(p, q - p), &e);
        block::append_copy(held, &e);
        p = q + 1;
      }
      *v = *held;
      v->header = t;
      stack::top--;
      return;
    }
    uint32_t t = type::word;
    std::string name = tok;
    if (name.size() > 1 && name.back() == ':') {
      t = type::set_word;
      name.pop_back();
    } else if (name.size() > 1 && name[0] == ':') {
      t = type::get_word;
      name.erase(0, 1);
    } else if (name.size() > 1 && name[0] == '\'') {
      t = type::lit_word;
      name.erase(0, 1);
    } else if (name.size() > 1 && name[0] == '/') {
      t = type::refinement;
      name.erase(0, 1);
    }
    context::intern_global(symbol::make(name), v);
    if (t == type::refinement) v->data1 = 0, v->data3 = 0xFFFFFFFF;
    v->header = t;
  }

  std::string_view s_;
  size_t i_ = 0;
  bool pending_newline_ = false;
};

}  // namespace kaz::testing
