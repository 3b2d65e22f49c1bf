// System natives: memory figures and the collector, the clock, the environment, files, the
// default application, and the entries of the checksum, compression and lexer codecs.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/calendar.h"
#include "datatypes/date.h"
#include "datatypes/time.h"
#include "eval/interpreter.h"
#include "eval/natives.h"
#include "loader/checksum.h"
#include "loader/deflate.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "memory/memory_stats.h"
#include "memory/unicode_strings.h"
#include "platform/files.h"
#include "platform/utf8_repair.h"
#include "runtime/fault_signals.h"
#include "runtime/fire.h"
#include "runtime/os_environment.h"
#include "runtime/os_time.h"

namespace kaz::natives {

void (*do_events_once)() = nullptr;

namespace {

inline cell* arg(uint32_t i) { return stack::arguments + i; }
inline bool has(const int32_t* refs, uint32_t k) { return refs[k] >= 0; }
inline cell* ref_arg(const int32_t* refs, uint32_t k) { return stack::arguments + refs[k]; }

flow answer(const cell& v) {
  stack::set_result_only(&v);
  return flow::normal;
}
flow answer_none() { return answer(cell{type::none, 0, 0, 0}); }
flow answer_unset() { return answer(cell{type::unset, 0, 0, 0}); }
cell integer_cell(int32_t n) { return cell{type::integer, 0, static_cast<uint32_t>(n), 0}; }

// A count: integer! when it fits in 32 bits, else float!.
cell number_cell(double n) {
  if (n <= 2147483647.0 && n >= -2147483648.0) return integer_cell(static_cast<int32_t>(n));
  cell c{type::float_, 0, 0, 0};
  put_double(&c, n);
  return c;
}

cell word_cell(std::string_view name) {
  cell w;
  words::global_word(symbol::make(name), &w);
  return w;
}
cell refinement_cell(std::string_view name) {
  cell r = word_cell(name);
  r.header = type::refinement;
  return r;
}

// A new string! holding UTF-8 text (malformed text raises access invalid-utf8).
cell string_from_utf8(std::string_view text) {
  node_t n = unicode::utf8_load_new(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return cell{type::string, 0, n, 0};
}

// The text of an any-string value, or the spelling of an any-word.
std::string name_text(const cell* v) {
  if (is_any_word(type_of(v))) return std::string(symbol::spelling(word::symbol_of(v)));
  return string::to_utf8(v);
}

// A new binary! of `size` bytes of room, empty.
cell new_binary(uint32_t size) { return cell{type::binary, 0, memory::alloc_bytes(size), 0}; }
void set_binary_length(const cell* b, uint32_t n) {
  series_buffer* s = memory::buffer_of(series::node_of(b));
  s->tail = s->offset + n;
}

// ---------------------------------------------------------------- files

// A path names a directory when it ends with a slash or backslash, is "." or "..", or ends
// with a slash and one or two dots.
bool dir_path(std::string_view p) {
  if (p.empty()) return false;
  if (p.back() == '/' || p.back() == '\\') return true;
  for (std::string_view dots : {".", ".."}) {
    if (p == dots) return true;
    if (p.size() > dots.size() && p.substr(p.size() - dots.size()) == dots) {
      char before = p[p.size() - dots.size() - 1];
      if (before == '/' || before == '\\') return true;
    }
  }
  return false;
}

// The whole content of a file; access cannot-open with the path when it cannot be read.
std::vector<uint8_t> read_file(const cell* path) {
  std::string p;
  int fd = files::os_path(path, p) ? ::open(p.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  struct stat st{};
  if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    fire(err::access_cannot_open, path);
  }
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      fire(err::access_cannot_open, path);
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  return data;
}

// ---------------------------------------------------------------- codec input

// The bytes a codec reads: a binary! from its index (read in place), a string as UTF-8 (kept
// here), a file! read whole. `view` is taken again after every allocation.
struct codec_input {
  cell source;
  std::vector<uint8_t> owned;
  bool in_place = false;
  std::span<const uint8_t> view() const {
    if (!in_place) return {owned.data(), owned.size()};
    unicode::text_range r = unicode::bytes_from_head(&source);
    return {r.p, r.count};
  }
};

codec_input input_of(const cell* data) {
  codec_input in;
  in.source = *data;
  uint32_t t = type_of(data);
  if (t == type::binary) {
    in.in_place = true;
  } else if (t == type::file) {
    in.owned = read_file(data);
  } else if (is_any_string(t)) {
    std::string text = string::to_utf8(data);
    in.owned.assign(text.begin(), text.end());
  } else {
    fire(err::script_invalid_arg, data);
  }
  return in;
}

// ---------------------------------------------------------------- clock

cell time_cell(double seconds) {
  cell c{type::time, 0, 0, 0};
  return *time_type::init_cell(&c, seconds);
}

}  // namespace

// ---------------------------------------------------------------- memory

flow stats(const int32_t* refs) {
  if (has(refs, 0) || has(refs, 1)) {
    cell b;
    block::init_cell(&b, 8);
    cell* held = stack::push(&b);
    memory::stats(series::node_of(held), 2);
    cell figures = *held;
    if (!has(refs, 0)) return answer(figures);
    // /show: the library prints them.
    cell name = word_cell("show-memory-stats");
    cell fn = *context::get_value(&name);
    if (!function::is_any_function(type_of(&fn))) fire(err::script_no_value, &name);
    stack::top = stack::arguments + 1;
    stack::open_interpreted_function_frame(&name);
    stack::push(&figures);
    flow f = interp::call_with_arguments(&fn, &name);
    if (f != flow::normal) {
      stack::close_frame_dropping();
      return f;
    }
    stack::close_frame_dropping();
    return answer_unset();
  }
  return answer(number_cell(memory::stats(0, 1)));
}

flow recycle(const int32_t* refs) {
  if (has(refs, 0) || has(refs, 1)) {
    if (has(refs, 0)) collector::set_active(true);
    if (has(refs, 1)) collector::set_active(false);
    return answer_unset();
  }
  collector::collect();
  return answer(number_cell(memory::stats(0, 1)));
}

// ---------------------------------------------------------------- time

flow now(const int32_t* refs) {
  enum { year, month, day, time, zone, date, weekday, yearday, precise, utc };
  int given = 0;
  for (int k = year; k <= precise; ++k) given += has(refs, k);
  if (given > 1 && !(given == 2 && has(refs, time) && has(refs, precise)))
    fire(err::script_bad_refines);
  bool in_utc = has(refs, utc);
  // One reading of the clock gives both the date and the time of day.
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  time_t whole = ts.tv_sec;
  tm parts{};
  if (in_utc) ::gmtime_r(&whole, &parts); else ::localtime_r(&whole, &parts);
  long offset = in_utc ? 0 : parts.tm_gmtoff / 60;  // minutes east of UTC
  bool west = offset < 0;
  uint32_t hours = static_cast<uint32_t>((west ? -offset : offset) / 60);
  uint32_t minutes = static_cast<uint32_t>((west ? -offset : offset) % 60);
  double seconds = parts.tm_hour * 3600.0 + parts.tm_min * 60.0 + parts.tm_sec;
  if (has(refs, precise)) seconds += static_cast<double>(ts.tv_nsec / 100) / 1e7;
  int y = parts.tm_year + 1900, m = parts.tm_mon + 1, d = parts.tm_mday;
  if (has(refs, year)) return answer(integer_cell(y));
  if (has(refs, month)) return answer(integer_cell(m));
  if (has(refs, day)) return answer(integer_cell(d));
  if (has(refs, zone))
    return answer(time_cell(calendar::zone_offset(calendar::pack_zone(west, hours, minutes))));
  if (has(refs, time)) return answer(time_cell(seconds));
  if (has(refs, weekday)) return answer(integer_cell(parts.tm_wday == 0 ? 7 : parts.tm_wday));
  if (has(refs, yearday)) return answer(integer_cell(parts.tm_yday + 1));
  cell out;
  date_type::init_cell(&out, y, m, d, !has(refs, date), seconds, west, hours, minutes);
  return answer(out);
}

flow wait(const int32_t*) {
  cell v = *arg(0);
  double seconds;
  switch (type_of(&v)) {
    case type::integer:
      seconds = integer_type::value_of(&v);
      break;
    case type::float_:
    case type::time:
      seconds = get_double(&v);
      break;
    default:
      fire(err::script_invalid_arg, &v);
  }
  cell none{type::none, 0, 0, 0};
  stack::set_result_only(&none);
  if (seconds > 0) sysrt::sleep(seconds);  // a negative duration (or NaN) waits 0
  // Ctrl-C during the sleep: the halt, now, rather than a flag left for the next prompt.
  if (sysrt::interrupt_pending && interp::halt_on_interrupt() != flow::normal) return flow::throw_;
  if (do_events_once) do_events_once();
  return flow::normal;
}

// ---------------------------------------------------------------- environment

// The environment holds bytes: a variable that is no valid UTF-8 is read with U+FFFD in place
// of its bad sequences rather than refused.
cell string_from_environment(std::string_view text) {
  return string_from_utf8(utf8_repair::repaired(text));
}

flow get_env(const int32_t*) {
  std::string value;
  if (!sysrt::get_env(name_text(arg(0)), value) || value.empty()) return answer_none();
  return answer(string_from_environment(value));
}

flow set_env(const int32_t*) {
  cell var = *arg(0), value = *arg(1);
  std::string name = name_text(&var);
  bool ok;
  if (type_of(&value) == type::none) {
    ok = sysrt::set_env(name, nullptr);
  } else {
    std::string text = string::to_utf8(&value);
    std::string_view view(text);
    ok = sysrt::set_env(name, &view);
  }
  if (!ok) fire(err::script_invalid_arg, &var);
  return answer(value);
}

flow list_env(const int32_t*) {
  cell pairs;
  block::init_cell(&pairs, 64);
  cell* held = stack::push(&pairs);
  sysrt::list_env([&](std::string_view name, std::string_view value) {
    cell n = string_from_environment(name);
    block::append_copy(held, &n);
    cell v = string_from_environment(value);
    block::append_copy(held, &v);
  });
  // Made as `make map!` makes one (a repeated name keeps its last value).
  slot_fn::make make_map = registry::row(type::map).make;
  if (!make_map) fire(err::internal_not_done);
  cell proto{type::datatype_, type::map, 0, 0};
  cell* map = stack::push(&proto);
  return answer(*make_map(map, held, type::map));
}

// ---------------------------------------------------------------- files and the desktop

flow to_local_file(const int32_t* refs) {
  // Built character by character: a name that is not UTF-8 keeps its stand-ins for the bytes.
  const cell* file = arg(0);
  uint32_t from = series::index_of(file), to = string::absolute_length(file);
  bool relative = from >= to || string::char_at_absolute(file, from) != '/';
  cell out;
  string::make_at(&out, to > from ? to - from : 1);
  std::string dir;
  if (has(refs, 0) && relative && sysrt::get_current_dir(dir)) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    files::append_os_name(series::node_of(&out), dir);
  }
  for (uint32_t i = from; i < to; ++i)
    string::append_code_point(series::node_of(&out), string::char_at_absolute(file, i));
  return answer(out);
}

flow size_q(const int32_t*) {
  std::string path;
  if (!files::os_path(arg(0), path) || dir_path(path)) return answer_none();
  // stat, not open: opening a FIFO waits for a writer, and an unreadable file has a size too
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || st.st_size < 0) return answer_none();
  return answer(number_cell(static_cast<double>(st.st_size)));
}

namespace {

// The program that opens files and URLs with the desktop's default application, from PATH.
bool find_opener(std::string& out) {
  const char* path = ::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!dirs.empty()) {
    size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    if (dir.empty()) continue;
    std::string candidate = std::string(dir) + "/xdg-open";
    if (::access(candidate.c_str(), X_OK) == 0) {
      out = candidate;
      return true;
    }
  }
  return false;
}

// Starts the opener on the target without waiting for it: an intermediate child starts it and
// leaves at once, so the opener is nobody's child here and leaves no zombie.
bool start_opener(const std::string& opener, const std::string& target) {
  char* argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(target.c_str()), nullptr};
  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (::fork() == 0) {
      int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      ::execv(argv[0], argv);
      ::_exit(127);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

flow browse(const int32_t*) {
  cell target = *arg(0);
  std::string text;
  std::string opener;
  if (!files::os_path(&target, text) || !find_opener(opener) || !start_opener(opener, text)) {
    cell name = word_cell("browse");
    fire(err::internal_not_here, &name);
  }
  return answer_unset();
}

// ---------------------------------------------------------------- checksums

namespace {

enum class sum_method { tcp, crc32, adler32, md5, sha1, sha256, sha384, sha512, hash, unknown };

sum_method method_of(const cell* word) {
  static constexpr std::string_view names[] = {"tcp",    "crc32",  "adler32", "md5", "sha1",
                                               "sha256", "sha384", "sha512",  "hash"};
  for (size_t i = 0; i < std::size(names); ++i)
    if (symbol::resolve(word::symbol_of(word)) == symbol::resolve(symbol::make(names[i])))
      return static_cast<sum_method>(i);
  return sum_method::unknown;
}

checksum::method digest_of(sum_method m) {
  switch (m) {
    case sum_method::md5: return checksum::method::md5;
    case sum_method::sha1: return checksum::method::sha1;
    case sum_method::sha256: return checksum::method::sha256;
    case sum_method::sha384: return checksum::method::sha384;
    default: return checksum::method::sha512;
  }
}

[[noreturn]] void bad_with(const cell* spec) {
  cell with = refinement_cell("with");
  fire(err::script_invalid_refine_arg, &with, spec);
}

}  // namespace

flow checksum(const int32_t* refs) {
  codec_input in = input_of(arg(0));
  cell method_word = *arg(1);
  sum_method m = method_of(&method_word);
  if (m == sum_method::unknown) fire(err::script_invalid_arg, &method_word);
  const cell* spec = has(refs, 0) ? ref_arg(refs, 0) : nullptr;
  cell none{type::none, 0, 0, 0};
  if (m == sum_method::tcp || m == sum_method::crc32 || m == sum_method::adler32) {
    if (spec) bad_with(spec);
    std::span<const uint8_t> data = in.view();
    uint32_t sum = m == sum_method::tcp     ? checksum::internet_checksum(data)
                   : m == sum_method::crc32 ? checksum::crc32(data)
                                            : checksum::adler32(data);
    return answer(integer_cell(static_cast<int32_t>(sum)));
  }
  bool keyed = false;
  if (spec) {
    uint32_t st = type_of(spec);
    if (st == type::integer) {
      // Checksums that size a hash table have no algorithm yet.
      fire(err::internal_not_done);
    }
    if (st != type::string && st != type::binary) fire(err::script_invalid_arg, spec);
    if (m == sum_method::hash) bad_with(spec);
    keyed = true;
  } else if (m == sum_method::hash) {
    bad_with(&none);
  }
  codec_input key;
  if (keyed) key = input_of(spec);
  checksum::method dm = digest_of(m);
  cell out = new_binary(static_cast<uint32_t>(checksum::digest_size(dm)));
  stack::push(&out);
  uint8_t digest[checksum::max_digest_size];
  checksum::digest_out to(digest, checksum::max_digest_size);
  size_t n = keyed ? checksum::hmac(in.view(), key.view(), dm, to)
                   : checksum::crypto_api_hash(in.view(), dm, to);
  if (n == 0) fire(err::internal_feature_na);
  std::copy(digest, digest + n, memory::buffer_of(series::node_of(&out))->head_rw());
  set_binary_length(&out, static_cast<uint32_t>(n));
  return answer(out);
}

// ---------------------------------------------------------------- compression

namespace {

enum class framing { zlib, deflate, gzip };

framing framing_of(const cell* word) {
  uint32_t s = symbol::resolve(word::symbol_of(word));
  if (s == symbol::resolve(symbol::make("zlib"))) return framing::zlib;
  if (s == symbol::resolve(symbol::make("deflate"))) return framing::deflate;
  if (s == symbol::resolve(symbol::make("gzip"))) return framing::gzip;
  fire(err::script_invalid_arg, word);
}

deflate::result run_codec(framing f, bool pack, std::span<uint8_t> out,
                          std::span<const uint8_t> in) {
  if (pack) {
    switch (f) {
      case framing::zlib: return deflate::zlib_deflate(out, in);
      case framing::deflate: return deflate::deflate(out, in);
      default: return deflate::gzip(out, in);
    }
  }
  switch (f) {
    case framing::zlib: return deflate::zlib_inflate(out, in);
    case framing::deflate: return deflate::inflate(out, in);
    default: return deflate::gunzip(out, in);
  }
}

/*
 * Runs a codec into a new binary! of `size` bytes; while it answers that the output is too
 * small, runs it again into one of the size it asks for (a few times at most). Any other failure
 * raises invalid-data with the data.
 */
flow code_into_binary(framing f, bool pack, codec_input& in, size_t size) {
  const cell* data = arg(0);
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (size > deflate::max_output - 1) size = deflate::max_output - 1;
    cell out = new_binary(static_cast<uint32_t>(size));
    stack::top = stack::arguments + 2;
    stack::arguments[1] = out;  // kept where the collector sees it
    series_buffer* s = memory::buffer_of(series::node_of(&out));
    std::span<uint8_t> room(s->head_rw(), size);
    deflate::result r = run_codec(f, pack, room, in.view());
    if (r.code == deflate::status::ok) {
      set_binary_length(&out, static_cast<uint32_t>(r.size));
      return answer(out);
    }
    if (r.code != deflate::status::too_small || r.size <= size) break;
    size = r.size;
  }
  fire(err::script_invalid_data, data);
}

}  // namespace

flow compress(const int32_t*) {
  framing f = framing_of(arg(1));
  codec_input in = input_of(arg(0));
  return code_into_binary(f, true, in, deflate::compressed_bound(in.view().size()));
}

flow decompress(const int32_t* refs) {
  framing f = framing_of(arg(1));
  codec_input in = input_of(arg(0));
  size_t size = 0;
  if (has(refs, 0) && f != framing::gzip) {
    cell* sz = ref_arg(refs, 0);
    int32_t n = integer_type::value_of(sz);
    if (n < 0) fire(err::script_invalid_arg, sz);
    size = static_cast<size_t>(n);
  } else {
    // The decoder tells the size it needs when given no room.
    deflate::result r = run_codec(f, false, {}, in.view());
    if (r.code == deflate::status::ok) size = 0;
    else if (r.code == deflate::status::too_small) size = r.size;
    else fire(err::script_invalid_data, arg(0));
  }
  return code_into_binary(f, false, in, size);
}

// ---------------------------------------------------------------- transcode

flow transcode(const int32_t* refs) {
  enum { next, one, prescan, scan, part, into, trace };
  cell src = *arg(0);
  int32_t length = -1;
  if (has(refs, part)) {
    cell p = *ref_arg(refs, part);
    if (type_of(&p) == type::integer) {
      length = integer_type::value_of(&p);
    } else {
      if (type_of(&p) != type_of(&src)) fire(err::script_not_same_type);
      if (series::node_of(&p) != series::node_of(&src)) fire(err::script_invalid_part, &p);
      length =
          static_cast<int32_t>(series::index_of(&p)) - static_cast<int32_t>(series::index_of(&src));
    }
    if (length < 0) length = 0;
  }
  lexer::scan_options options;
  options.one = has(refs, next) || has(refs, one);
  options.prescan = has(refs, prescan);
  options.scan = has(refs, scan);
  cell dst, callback;
  if (has(refs, into)) {
    dst = *ref_arg(refs, into);
    options.into = &dst;
  }
  if (has(refs, trace)) {
    callback = *ref_arg(refs, trace);
    options.trace = &callback;
  }
  cell* out = stack::reserve_cell();
  // An exit out of the trace callback crosses the lexer to this native's call.
  uint32_t after = lexer::transcode(&src, length, options, out);
  if (has(refs, next) && !has(refs, one)) {  // the value (or its type) and the input after it
    cell value = *out;
    cell rest = src;
    rest.data1 = after;
    cell pair;
    block::init_cell(&pair, 2);
    cell* held = stack::push(&pair);
    block::append_copy(held, &value);
    block::append_copy(held, &rest);
    return answer(*held);
  }
  return answer(*out);
}

}  // namespace kaz::natives
