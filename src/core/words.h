// The runtime's own vocabulary: symbols, words, refinements and an issue made once at start-up,
// in a fixed order (it fixes their symbol ids), right after the datatype names.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::words {

/*
 * The symbols, in creation order: X(c-name, "spelling"). `code` stands in two groups (event
 * field and money accessor); it is one symbol, listed once here.
 */
#define KAZ_RUNTIME_SYMBOLS(X)                                                                  \
  /* reflection */                                                                              \
  X(spec, "spec") X(body, "body") X(words, "words") X(class_, "class")                          \
  /* argument types */                                                                          \
  X(logic_t, "logic!") X(integer_t, "integer!") X(char_t, "char!") X(float_t, "float!")         \
  X(percent_t, "percent!") X(any_type_t, "any-type!")                                           \
  /* function exits */                                                                          \
  X(exit, "exit") X(return_, "return")                                                          \
  /* operating-system names */                                                                  \
  X(Windows, "Windows") X(Syllable, "Syllable") X(macOS, "macOS") X(Linux, "Linux")            \
  X(NetBSD, "NetBSD")                                                                           \
  /* loop natives */                                                                            \
  X(repeat, "repeat") X(foreach, "foreach") X(map_each, "map-each") X(remove_each, "remove-each") \
  /* parse keywords */                                                                          \
  X(any, "any") X(break_, "break") X(copy, "copy") X(end, "end") X(fail, "fail")               \
  X(into, "into") X(opt, "opt") X(not_, "not") X(quote, "quote") X(case_, "case")              \
  X(reject, "reject") X(set, "set") X(skip, "skip") X(some, "some") X(thru, "thru")            \
  X(to, "to") X(none, "none") X(bar, "|") X(minus, "-") X(if_, "if") X(remove, "remove")       \
  X(while_, "while") X(insert, "insert") X(only, "only") X(collect, "collect") X(keep, "keep") \
  X(pick, "pick") X(ahead, "ahead") X(after, "after")                                           \
  /* coordinates */                                                                             \
  X(x, "x") X(y, "y") X(z, "z")                                                                 \
  /* object words */                                                                            \
  X(self, "self") X(values, "values") X(owner, "owner") X(owned, "owned")                      \
  X(events_q, "events?")                                                                        \
  /* logic words */                                                                             \
  X(true_, "true") X(false_, "false") X(yes, "yes") X(no, "no") X(on, "on") X(off, "off")      \
  /* event fields */                                                                            \
  X(type, "type") X(face, "face") X(window, "window") X(offset, "offset") X(key, "key")         \
  X(flag, "flag") X(code, "code") X(picked, "picked") X(flags, "flags") X(away_q, "away?")     \
  X(ctrl_q, "ctrl?") X(shift_q, "shift?") X(down_q, "down?") X(mid_down_q, "mid-down?")        \
  X(alt_down_q, "alt-down?") X(aux_down_q, "aux-down?") X(orientation, "orientation")          \
  /* port and map words */                                                                      \
  X(get, "get") X(put, "put") X(post, "post") X(head, "head") X(size, "size")                  \
  /* colour accessors */                                                                        \
  X(rgb, "rgb") X(alpha, "alpha") X(argb, "argb")                                               \
  /* date and time accessors */                                                                 \
  X(date, "date") X(year, "year") X(month, "month") X(day, "day") X(zone, "zone")              \
  X(isoweek, "isoweek") X(week, "week") X(weekday, "weekday") X(yearday, "yearday")            \
  X(julian, "julian") X(time, "time") X(hour, "hour") X(minute, "minute") X(second, "second")  \
  X(timezone, "timezone")                                                                       \
  /* money accessors (and `code` above) */                                                      \
  X(amount, "amount")                                                                           \
  /* URL fields */                                                                              \
  X(user, "user") X(host, "host")                                                               \
  /* system words */                                                                            \
  X(system, "system") X(system_global, "system-global") X(stack, "stack")                      \
  /* tracing */                                                                                 \
  X(trace, "trace") X(no_trace, "no-trace")

/*
 * The words: global word! cells, in creation order. W(c-name, "spelling") makes a word from a
 * spelling; S(c-name) makes the word of a symbol above. `throw` is one word kept in two
 * globals (trace event and error category).
 */
#define KAZ_RUNTIME_WORDS(W, S)                                                                 \
  /* from the symbols above */                                                                  \
  S(Windows) S(Syllable) S(macOS) S(Linux) S(NetBSD)                                            \
  S(to) S(thru) S(not_) S(remove) S(while_) S(collect) S(keep) S(ahead) S(bar) S(any)           \
  S(some) S(copy) S(opt) S(into) S(insert) S(if_) S(quote) S(set) S(case_)                      \
  /* series actions and their event names */                                                    \
  W(at, "at") W(back, "back") W(find, "find") S(head) W(head_q, "head?")                        \
  W(index_q, "index?") W(length_q, "length?") W(next, "next") S(pick) S(skip)                  \
  W(select, "select") W(tail, "tail") W(tail_q, "tail?") W(change, "change")                   \
  W(changed, "changed") W(clear, "clear") W(cleared, "cleared") W(set_path, "set-path")        \
  W(append, "append") W(appended, "appended") W(move, "move") W(moved, "moved")                \
  W(poke, "poke") W(poked, "poked") S(put) W(put_ed, "put-ed") W(removed, "removed")           \
  W(random, "random") W(randomized, "randomized") W(reverse, "reverse")                        \
  W(reversed, "reversed") W(sort, "sort") W(sorted, "sorted") W(swap, "swap")                  \
  W(swaped, "swaped") W(take, "take") W(taken, "taken") W(trim, "trim")                        \
  W(trimmed, "trimmed") W(inserted, "inserted") W(uppercase, "uppercase")                      \
  W(lowercase, "lowercase") W(checksum, "checksum")                                             \
  /* parse trace events */                                                                      \
  W(push, "push") W(pop, "pop") W(fetch, "fetch") W(match, "match") W(iterate, "iterate")      \
  W(paren, "paren")                                                                             \
  /* placeholder names */                                                                       \
  W(anon, "<anon>") W(body_, "<body>") W(not_found, "<not-found>")                             \
  S(end)                                                                                        \
  W(add, "add") W(subtract, "subtract") W(divide, "divide")                                     \
  /* handler names */                                                                           \
  W(on_parse_event, "on-parse-event") W(on_change, "on-change*")                               \
  W(on_deep_change, "on-deep-change*")                                                          \
  /* error fields */                                                                            \
  S(type) W(id, "id")                                                                           \
  W(try_, "try") W(catch_, "catch") W(name, "name") W(multiply, "multiply")                    \
  W(browse, "browse")                                                                           \
  /* port actions */                                                                            \
  W(open, "open") W(create, "create") W(close, "close") W(delete_, "delete")                   \
  W(modify, "modify") W(query, "query") W(read, "read") W(rename, "rename")                    \
  W(update, "update") W(write, "write")                                                         \
  /* lexer events */                                                                            \
  W(prescan, "prescan") W(scan, "scan") W(load, "load") W(error, "error")                      \
  W(comment, "comment")                                                                         \
  /* interpreter trace events */                                                                \
  W(init, "init") W(exec, "exec") W(call, "call") S(return_) W(enter, "enter") S(exit)         \
  W(prolog, "prolog") W(epilog, "epilog") W(throw_, "throw") W(expr, "expr")                   \
  /* callback names */                                                                          \
  W(interp_callback, "<interp-callback>") W(lexer_callback, "<lexer-callback>")                \
  W(parse_callback, "<parse-callback>") W(compare_callback, "<compare-callback>")              \
  /* error categories */                                                                        \
  W(throw_category, "throw") W(note, "note") W(syntax, "syntax") W(script, "script")           \
  W(math, "math") W(access, "access") S(user) W(internal, "internal")                  \
  W(invalid_error, "invalid-error") W(local, "local") W(applied, "<applied>")

// Refinements with no context, in creation order.
#define KAZ_RUNTIME_REFINEMENTS(R) \
  R(local, "local") R(extern_, "extern") R(compare, "compare") R(part, "part") R(skip, "skip") \
  R(with, "with")

// Symbols the runtime needs beyond its fixed vocabulary, made after it.
#define KAZ_EXTRA_SYMBOLS(X) X(forall, "forall")

// Symbol ids: every symbol above, and the symbol of every word, refinement and extra name.
struct symbols {
#define KAZ_SYM(cname, text) uint32_t cname;
#define KAZ_SYM_OF_SYM(cname)
  KAZ_RUNTIME_SYMBOLS(KAZ_SYM)
  KAZ_RUNTIME_WORDS(KAZ_SYM, KAZ_SYM_OF_SYM)
  KAZ_EXTRA_SYMBOLS(KAZ_SYM)
  uint32_t extern_, part, compare, with;
#undef KAZ_SYM
#undef KAZ_SYM_OF_SYM
};
extern symbols sym;

// The word globals, bound in the global context.
struct word_cells {
#define KAZ_WORD(cname, text) cell cname;
#define KAZ_WORD_OF_SYM(cname) cell cname;
  KAZ_RUNTIME_WORDS(KAZ_WORD, KAZ_WORD_OF_SYM)
#undef KAZ_WORD
#undef KAZ_WORD_OF_SYM
};
extern word_cells word;

// The refinement globals (context 0).
struct refinement_cells {
#define KAZ_REF(cname, text) cell cname;
  KAZ_RUNTIME_REFINEMENTS(KAZ_REF)
#undef KAZ_REF
};
extern refinement_cells refinement;

// The issue #ooo.
extern cell ooo;

// A word! bound to the global context for a symbol, written into `out`.
void global_word(uint32_t symbol, cell* out);

void init();

}  // namespace kaz::words
