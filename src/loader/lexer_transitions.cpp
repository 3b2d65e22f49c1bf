#include "loader/lexer_transitions.h"

#include <initializer_list>

#include "runtime/cell.h"

namespace kaz::lexer {

namespace {

using namespace cls;

// A row rule: the target for a list of byte classes.
struct rule {
  uint8_t target;
  std::initializer_list<uint8_t> on;
};

using row_t = std::array<uint8_t, cls::count>;

// Builds one row: every class goes to `others` unless a rule names it.
constexpr row_t row(uint8_t others, std::initializer_list<rule> rules) {
  row_t r{};
  for (auto& x : r) x = others;
  for (const rule& ru : rules)
    for (uint8_t c : ru.on) r[c] = ru.target;
  return r;
}

// Working state n, final state of token class n (delimiter-ended), and a final state that
// takes its byte into the token.
constexpr uint8_t S(uint8_t n) { return n; }
constexpr uint8_t F(uint8_t n) { return final_state(n); }
constexpr uint8_t Fc(uint8_t n) { return uint8_t(final_state(n) | state::consume); }

// The delimiters that end most tokens, spelled out per row as the rows differ slightly.
#define DELIMS ws, lf, lbracket, rbracket, lparen, rparen, lbrace, rbrace, quote

const std::array<row_t, state::working> build() {
  return {{
      // S0 start
      row(S(52), {{Fc(3), {lbracket}}, {Fc(4), {rbracket}}, {Fc(5), {lparen}},
                  {Fc(6), {rparen}}, {Fc(7), {lbrace}}, {S(2), {quote}}, {S(16), {hash}},
                  {S(13), {slash}}, {S(43), {less}}, {S(58), {equal}}, {S(6), {percent}},
                  {Fc(13), {comma}}, {S(1), {semicolon}}, {S(57), {at}}, {S(49), {dot}},
                  {S(36), {dollar}}, {F(1), {nul}}, {S(23), {digit, zero}},
                  {S(51), {apos, colon}}, {S(40), {E, hex_upper}}, {S(47), {plus, minus}},
                  {S(0), {ws, lf, control}}, {F(2), {rbrace, backslash, high, bad}}}),
      // S1 comment
      row(S(1), {{F(2), {bad}}, {F(12), {lf, nul}}}),
      // S2 string
      row(S(2), {{Fc(14), {quote}}, {S(3), {caret}}, {F(2), {lf, bad, nul}}}),
      // S3 string, after ^
      row(S(2), {{F(2), {bad, nul}}}),
      // S4 brace string
      row(S(4), {{Fc(7), {lbrace}}, {Fc(8), {rbrace}}, {S(5), {caret}}, {F(2), {bad, nul}}}),
      // S5 brace string, after ^
      row(S(4), {{F(2), {bad, nul}}}),
      // S6 after %
      row(S(7), {{S(10), {lbrace}}, {S(8), {quote}}, {S(54), {colon}}, {S(9), {percent}},
                 {F(2), {bad}},
                 {F(15), {ws, lf, lbracket, rbracket, lparen, rparen, rbrace, semicolon, at,
                          control, nul}}}),
      // S7 file
      row(S(7), {{F(2), {quote, bad}},
                 {F(20), {ws, lf, lbracket, rbracket, lparen, rparen, lbrace, rbrace, colon,
                          semicolon, at, nul}}}),
      // S8 quoted file
      row(S(8), {{Fc(20), {quote}}, {F(2), {lf, bad, nul}}}),
      // S9 run of %
      row(S(7), {{S(10), {lbrace}}, {S(9), {percent}}, {F(2), {bad}},
                 {F(15), {ws, lf, lbracket, rbracket, lparen, rparen, rbrace, quote, backslash,
                          semicolon, control, nul}}}),
      // S10 raw string body
      row(S(10), {{S(11), {rbrace}}, {F(2), {bad, nul}}}),
      // S11 raw string, after }
      row(S(10), {{S(11), {rbrace}}, {S(12), {percent}}, {F(2), {bad, nul}}}),
      // S12 raw string, closing %
      row(F(2), {{S(12), {percent}},
                 {F(35), {ws, lf, lbracket, rbracket, lparen, rparen, lbrace, quote, less,
                          semicolon, control, nul}}}),
      // S13 after /
      row(S(14), {{S(53), {colon}}, {S(15), {slash}}, {F(2), {comma, bad}},
                  {F(15), {DELIMS, hash, semicolon, at, control, nul}}}),
      // S14 refinement
      row(S(14), {{F(2), {colon, comma, bad}},
                  {F(18), {DELIMS, slash, semicolon, at, control, nul}}}),
      // S15 run of /
      row(S(52), {{S(15), {slash}}, {F(2), {percent, comma, dollar, bad}},
                  {F(15), {DELIMS, hash, semicolon, at, control, nul}}}),
      // S16 after #
      row(S(22), {{Fc(9), {lbracket}}, {S(21), {lparen}}, {S(17), {lbrace}}, {S(19), {quote}},
                  {F(16), {semicolon, at, control, nul}},
                  {F(2), {ws, lf, rbracket, rparen, rbrace, colon, less, greater, comma, bad}}}),
      // S17 binary body
      row(F(2), {{Fc(21), {rbrace}}, {S(18), {semicolon}},
                 {S(17), {ws, lf, digit, zero, x, T, h, e, E, hex_lower, hex_upper, slash, equal,
                          plus, word}}}),
      // S18 binary, comment
      row(S(18), {{S(17), {lf}}, {F(2), {bad, nul}}}),
      // S19 char body
      row(S(19), {{Fc(19), {quote}}, {S(20), {caret}}, {F(2), {bad, nul}}}),
      // S20 char, after ^
      row(S(19), {{F(2), {bad, nul}}}),
      // S21 construction body
      row(S(21), {{Fc(11), {rparen}}, {F(2), {bad, nul}}}),
      // S22 issue
      row(S(22), {{F(2), {colon, slash, bad}},
                  {F(16), {DELIMS, semicolon, at, control, nul}}}),
      // S23 digits
      row(F(17), {{S(16), {hash}}, {S(31), {colon}}, {S(33), {x}}, {S(42), {h}}, {S(26), {e}},
                  {S(27), {E}}, {S(39), {hex_upper}}, {Fc(22), {percent}}, {S(56), {at}},
                  {S(24), {dot}}, {S(23), {digit, zero, apos}}, {S(30), {T, slash, minus}},
                  {F(2), {hex_lower, backslash, greater, equal, dollar, plus, caret, high, word,
                          bad}}}),
      // S24 digits and .
      row(F(2), {{S(28), {hash}}, {S(33), {x}}, {Fc(22), {percent}}, {S(26), {e, E}},
                 {S(25), {digit, zero, apos}},
                 {F(23), {DELIMS, slash, less, comma, semicolon, control, nul}}}),
      // S25 fraction
      row(F(23), {{S(33), {x}}, {Fc(22), {percent}}, {S(56), {at}}, {S(29), {dot}},
                  {S(26), {e, E}}, {S(25), {digit, zero, apos}},
                  {F(2), {hash, T, h, hex_lower, hex_upper, backslash, greater, equal, dollar,
                          plus, minus, caret, high, word, bad}}}),
      // S26 exponent (a percent may have one: mold writes 1.5e22%)
      row(F(2), {{S(56), {at}}, {S(26), {digit, zero, plus, minus}}, {Fc(22), {percent}},
                 {F(23), {DELIMS, colon, slash, less, comma, semicolon, control, nul}}}),
      // S27 digits and E (a comment may follow the number, as after every other float)
      row(F(2), {{S(42), {h}}, {Fc(22), {percent}}, {S(56), {at}}, {S(29), {dot}},
                 {S(27), {digit, zero}}, {S(40), {E, hex_upper}}, {S(26), {plus, minus}},
                 {F(23), {DELIMS, colon, slash, less, comma, semicolon, control, nul}}}),
      // S28 after .#
      row(F(24), {{Fc(23), {digit}},
                  {F(2), {hash, apos, colon, percent, at, dollar, caret, bad}},
                  {S(28), {x, T, h, e, E, hex_lower, hex_upper, greater, equal, dot, plus, minus,
                           high, word}}}),
      // S29 tuple
      row(F(2), {{S(29), {digit, zero, dot}},
                 {F(25), {DELIMS, colon, slash, less, semicolon, control, nul}}}),
      // S30 date
      row(S(30), {{F(2), {percent, comma, at, caret, high, bad}},
                  {F(26), {DELIMS, less, semicolon, dollar, control, nul}}}),
      // S31 time, after :
      row(F(2), {{S(32), {digit, zero}}}),
      // S32 time
      row(F(2), {{S(32), {digit, zero, colon, dot}},
                 {F(29), {DELIMS, slash, less, semicolon, control, nul}}}),
      // S33 pair, after x
      row(F(2), {{S(56), {at}}, {S(34), {digit, zero, plus, minus}}}),
      // S34 pair, second part
      row(F(2), {{S(56), {at}}, {S(34), {digit, zero, e, E, dot}},
                 {F(27), {DELIMS, colon, slash, less, semicolon, control, nul}}}),
      // S35 point body
      row(F(2), {{Fc(28), {rparen}},
                 {S(35), {ws, digit, zero, rbracket, hash, e, E, hex_lower, hex_upper, comma, dot,
                          plus, minus, word}}}),
      // S36 after $
      row(F(2), {{S(37), {digit, zero}}}),
      // S37 money digits
      row(F(2), {{S(38), {dot}}, {S(37), {digit, zero, apos}},
                 {F(30), {DELIMS, hash, colon, slash, less, semicolon, control, nul}}}),
      // S38 money decimals
      row(F(2), {{S(38), {digit, zero, apos}},
                 {F(30), {DELIMS, hash, colon, slash, less, semicolon, control, nul}}}),
      // S39 hex digits
      row(F(2), {{S(41), {h}}, {S(56), {at}}, {S(39), {digit, zero, E, hex_upper}}}),
      // S40 capital hex letters
      row(S(52), {{S(53), {colon}}, {S(41), {h}}, {Fc(10), {slash}}, {S(56), {at}},
                  {S(37), {dollar}}, {F(2), {percent, comma, bad}},
                  {S(40), {digit, zero, E, hex_upper}},
                  {F(15), {DELIMS, hash, backslash, semicolon, control, nul}}}),
      // S41 hex, after h
      row(S(52), {{S(53), {colon}}, {Fc(10), {slash}}, {S(56), {at}}, {S(37), {dollar}},
                  {F(2), {hash, percent, comma, bad}},
                  {F(34), {DELIMS, backslash, semicolon, control, nul}}}),
      // S42 digits and h
      row(F(2), {{Fc(10), {slash}}, {S(56), {at}}, {S(37), {dollar}},
                 {F(34), {DELIMS, backslash, less, semicolon, control, nul}}}),
      // S43 after <
      row(S(44), {{S(46), {apos}}, {S(53), {colon}}, {S(43), {less}}, {F(2), {bad}},
                  {S(52), {greater, equal, minus}},
                  {F(15), {DELIMS, semicolon, control, nul}}}),
      // S44 tag body
      row(S(44), {{S(45), {quote}}, {S(46), {apos}}, {Fc(31), {greater}}, {F(2), {bad, nul}}}),
      // S45 tag, in "..."
      row(S(45), {{S(44), {quote}}, {F(2), {bad, nul}}}),
      // S46 tag, in '...'
      row(S(46), {{S(44), {apos}}, {F(2), {bad, nul}}}),
      // S47 sign
      row(S(52), {{Fc(10), {slash}}, {S(49), {dot}}, {S(37), {dollar}}, {S(23), {digit, zero}},
                  {F(2), {apos, percent, caret, bad}},
                  {F(15), {DELIMS, hash, backslash, semicolon, control, nul}}}),
      // S48 sign after : or '
      row(S(52), {{Fc(10), {slash}}, {F(2), {apos, percent, dollar, caret, bad}},
                  {F(15), {DELIMS, hash, backslash, semicolon, control, nul}}}),
      // S49 leading .
      row(S(52), {{S(53), {colon}}, {Fc(10), {slash}}, {S(56), {at}},
                  {S(50), {digit, zero, plus, minus}}, {F(2), {percent, comma, dollar, bad}},
                  {F(15), {DELIMS, hash, backslash, semicolon, control, nul}}}),
      // S50 fraction after leading . (a comment may follow, as after every other float)
      row(F(2), {{S(33), {x}}, {Fc(22), {percent}}, {S(56), {at}},
                 {S(50), {digit, zero, e, E, plus, minus}},
                 {F(23), {DELIMS, colon, slash, less, semicolon, control, nul}}}),
      // S51 after : or '
      row(F(2), {{S(13), {slash}}, {S(43), {less}}, {S(58), {equal}}, {S(54), {percent}},
                 {S(48), {plus, minus}},
                 {S(52), {x, T, h, e, E, hex_lower, hex_upper, greater, dot, caret, high, word}}}),
      // S52 word
      row(S(52), {{S(53), {colon}}, {Fc(10), {slash}}, {S(56), {at}}, {S(36), {dollar}},
                  {F(2), {percent, comma, bad}},
                  {F(15), {DELIMS, hash, backslash, less, semicolon, control, nul}}}),
      // S53 word and :
      row(S(55), {{F(2), {less, bad}}, {F(15), {DELIMS, backslash, semicolon, control, nul}}}),
      // S54 run of % after :
      row(F(2), {{S(54), {percent}},
                 {F(15), {ws, lf, lbracket, rbracket, lparen, rparen, lbrace, rbrace, backslash,
                          semicolon, control, nul}}}),
      // S55 url body
      row(S(55), {{F(2), {greater, caret, bad}},
                  {F(32), {DELIMS, backslash, less, semicolon, control, nul}}}),
      // S56 email
      row(S(56), {{F(2), {hash, apos, colon, greater, equal, comma, at, dollar, caret, bad}},
                  {F(33), {DELIMS, slash, backslash, less, semicolon, control, nul}}}),
      // S57 ref
      row(S(57), {{F(2), {hash, apos, backslash, greater, equal, comma, at, dollar, caret, bad}},
                  {F(36), {DELIMS, less, semicolon, control, nul}}}),
      // S58 after =
      row(S(52), {{Fc(10), {slash}}, {F(2), {hash, percent, comma, at, dollar, bad}},
                  {F(15), {DELIMS, colon, backslash, semicolon, control, nul}}}),
      // S59 path segment start
      row(F(2), {{Fc(5), {lparen}}, {Fc(6), {rparen}}, {S(2), {quote}}, {S(63), {hash}},
                 {S(43), {less}}, {S(57), {at}}, {S(36), {dollar}}, {S(60), {digit, zero}},
                 {S(61), {apos, colon}}, {S(64), {plus, minus}},
                 {S(62), {x, T, h, e, E, hex_lower, hex_upper, greater, equal, dot, high, word}}}),
      // S60 path segment digits
      row(F(2), {{S(33), {x}}, {Fc(22), {percent}}, {S(56), {at}}, {S(24), {dot}},
                 {S(26), {e, E}}, {S(60), {digit, zero, apos}},
                 {F(17), {DELIMS, colon, slash, less, semicolon, control, nul}}}),
      // S61 path segment, after ' or :
      row(F(2), {{S(62), {x, T, h, e, E, hex_lower, hex_upper, less, greater, equal, dot, plus,
                          minus, high, word}}}),
      // S62 path segment word
      row(S(62), {{S(56), {at}}, {S(36), {dollar}}, {F(2), {hash, percent, comma, bad}},
                  {F(15), {DELIMS, colon, slash, backslash, semicolon, control, nul}}}),
      // S63 path segment, after # (a construction literal opens with "(")
      row(S(22), {{S(21), {lparen}}, {S(19), {quote}},
                  {F(2), {ws, lf, rbracket, lbracket, rparen, lbrace, rbrace, colon, slash, less,
                          greater, equal, comma, semicolon, at, control, bad, nul}}}),
      // S64 path segment sign
      row(F(15), {{S(56), {at}}, {S(36), {dollar}}, {S(60), {digit, zero}},
                  {S(64), {plus, minus}},
                  {F(2), {hash, apos, less, percent, comma, caret, bad}},
                  {S(62), {x, T, h, e, E, hex_lower, hex_upper, greater, equal, dot, high,
                           word}}}),
  }};
}

#undef DELIMS

constexpr std::array<uint8_t, state::count> build_skip() {
  std::array<uint8_t, state::count> t{};
  t[state::start] = 1;
  return t;
}

constexpr std::array<uint8_t, state::count> build_types() {
  std::array<uint8_t, state::count> t{};
  auto set = [&t](std::initializer_list<uint8_t> states, uint32_t type_id) {
    for (uint8_t s : states) t[s] = uint8_t(type_id);
  };
  // Working states: the datatype a token failing there was becoming.
  set({2, 3, 4, 5, 10, 11, 12}, type::string);
  set({6, 7, 8, 9}, type::file);
  set({13, 14}, type::refinement);
  set({15, 40, 47, 48, 49, 51, 52, 53, 54, 58}, type::word);
  set({16, 22}, type::issue);
  set({17, 18}, type::binary);
  set({19, 20}, type::char_);
  set({23, 39, 41, 42}, type::integer);
  set({24, 25, 26, 27, 28, 50}, type::float_);
  set({29}, type::tuple);
  set({30}, type::date);
  set({31, 32}, type::time);
  set({33, 34}, type::pair);
  set({35}, type::point2d);
  set({36, 37, 38}, type::money);
  set({43, 44, 45, 46}, type::tag);
  set({55}, type::url);
  set({56}, type::email);
  set({57}, type::ref);
  set({59, 60, 61, 62, 63, 64}, type::path);
  // Final states: the datatype of the token class.
  auto fin = [&t](uint8_t token_class, uint32_t type_id) {
    t[final_state(token_class)] = uint8_t(type_id);
  };
  fin(token::error, type::error);
  fin(token::brace_close, type::string);
  fin(token::string, type::string);
  fin(token::word, type::word);
  fin(token::issue, type::issue);
  fin(token::integer, type::integer);
  fin(token::refinement, type::refinement);
  fin(token::char_, type::char_);
  fin(token::file, type::file);
  fin(token::binary, type::binary);
  fin(token::percent, type::percent);
  fin(token::float_, type::float_);
  fin(token::special_float, type::float_);
  fin(token::tuple, type::tuple);
  fin(token::date, type::date);
  fin(token::pair, type::pair);
  fin(token::point, type::point2d);
  fin(token::time, type::time);
  fin(token::money, type::money);
  fin(token::tag, type::tag);
  fin(token::url, type::url);
  fin(token::email, type::email);
  fin(token::hex_integer, type::integer);
  fin(token::raw_string, type::string);
  fin(token::ref, type::ref);
  return t;
}

}  // namespace

const std::array<std::array<uint8_t, cls::count>, state::working> transitions = build();
const std::array<uint8_t, state::count> skip_table = build_skip();
const std::array<uint8_t, state::count> type_table = build_types();

}  // namespace kaz::lexer
