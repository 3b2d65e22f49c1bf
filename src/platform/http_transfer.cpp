// One HTTP(S) transfer through libcurl's easy interface.
#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "memory/series.h"
#include "platform/curl_library.h"
#include "platform/http.h"
#include "runtime/fault_signals.h"

namespace kaz::http {

namespace {

constexpr long connect_timeout_s = 60;
constexpr long default_idle_s = 30;
constexpr long max_redirects = 20;

// The three headers sent when the caller gives none.
constexpr std::pair<const char*, const char*> default_headers[] = {
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Accept-Charset", "UTF-8"},
    {"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"},
};

// Seconds without traffic before a transfer is given up: KAZ_HTTP_IDLE_TIMEOUT when it is a
// positive number, else 30.
long idle_limit_s() {
  static long limit = [] {
    const char* text = std::getenv("KAZ_HTTP_IDLE_TIMEOUT");
    long n = text ? std::strtol(text, nullptr, 10) : 0;
    return n > 0 ? n : default_idle_s;
  }();
  return limit;
}

using clock = std::chrono::steady_clock;

// What the callbacks share during one transfer.
struct transfer {
  response* out;
  bool too_large = false;
  bool interrupted = false;
  curl_off_t last_down = -1, last_up = -1;
  clock::time_point last_move = clock::now();
  long idle_s;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<transfer*>(user);
  size_t n = size * count;
  if (t->out->body.size() + n >= memory::max_series_bytes) {
    t->too_large = true;
    return 0;  // aborts the transfer
  }
  t->out->body.insert(t->out->body.end(), data, data + n);
  return n;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' ||
                        s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

/*
 * One header line at a time, of every response on the way (redirects, 100 Continue): a status
 * line starts a new response, so only the last one's headers remain. A line that begins with
 * white space continues the previous value.
 */
size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<transfer*>(user);
  size_t n = size * count;
  std::string_view line(data, n);
  auto& headers = t->out->headers;
  if (line.starts_with("HTTP/")) {
    headers.clear();
    return n;
  }
  if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
    std::string_view more = trimmed(line);
    if (!headers.empty() && !more.empty()) {
      if (!headers.back().second.empty()) headers.back().second += ' ';
      headers.back().second.append(more);
    }
    return n;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return n;
  headers.emplace_back(std::string(line.substr(0, colon)),
                       std::string(trimmed(line.substr(colon + 1))));
  return n;
}

// Called about once a second and whenever data moves: gives up after the idle limit without
// a byte moving in either direction, or at once on an interrupt.
int on_progress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto* t = static_cast<transfer*>(user);
  if (sysrt::interrupt_pending) {
    t->interrupted = true;
    return 1;
  }
  clock::time_point now = clock::now();
  if (down != t->last_down || up != t->last_up) {
    t->last_down = down;
    t->last_up = up;
    t->last_move = now;
    return 0;
  }
  return now - t->last_move > std::chrono::seconds(t->idle_s) ? 1 : 0;
}

// Owners of libcurl's handle and header list, released on every path out.
struct easy_holder {
  const curl_api* api;
  CURL* h = api->easy_init();
  ~easy_holder() {
    if (h) api->easy_cleanup(h);
  }
};
struct list_holder {
  const curl_api* api;
  curl_slist* list = nullptr;
  ~list_holder() { api->slist_free_all(list); }
  bool add(const std::string& line) {
    curl_slist* next = api->slist_append(list, line.c_str());
    if (!next) return false;
    list = next;
    return true;
  }
};

// A header line for libcurl: "Name: value", or "Name;" for an empty value (libcurl sends
// "Name:" with nothing after it for that form, and drops the header for "Name:").
std::string header_line(const std::string& name, const std::string& value) {
  if (value.empty()) return name + ";";
  return name + ": " + value;
}

}  // namespace

outcome perform(const request& rq, response& out) {
  const curl_api* api = curl_library();
  if (!api) return outcome::no_connect;
  out = response{};
  easy_holder easy{api};
  if (!easy.h) return outcome::no_connect;
  CURL* h = easy.h;
  transfer t{&out};
  t.idle_s = idle_limit_s();

  api->easy_setopt(h, CURLOPT_URL, rq.url.c_str());
  api->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  api->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  api->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  api->easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  api->easy_setopt(h, CURLOPT_MAXREDIRS, max_redirects);
  api->easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  api->easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  api->easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connect_timeout_s);
  api->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  api->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, on_progress);
  api->easy_setopt(h, CURLOPT_XFERINFODATA, &t);
  api->easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
  api->easy_setopt(h, CURLOPT_WRITEDATA, &t);
  api->easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
  api->easy_setopt(h, CURLOPT_HEADERDATA, &t);
  // The body comes as the server sent it: no content coding is asked for or undone.
  api->easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);

  if (rq.method == "GET") {
    api->easy_setopt(h, CURLOPT_HTTPGET, 1L);
  } else if (rq.method == "HEAD") {
    api->easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else {
    if (rq.method == "POST" || rq.has_body) {
      api->easy_setopt(h, CURLOPT_POST, 1L);
      api->easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(rq.body.size()));
      const char* bytes = reinterpret_cast<const char*>(rq.body.data());
      api->easy_setopt(h, CURLOPT_POSTFIELDS, rq.body.empty() ? "" : bytes);
    }
    if (rq.method != "POST") api->easy_setopt(h, CURLOPT_CUSTOMREQUEST, rq.method.c_str());
  }

  // The defaults, or exactly the headers asked for: then libcurl's own Accept, Expect and, for a
  // body, Content-Type are taken away unless given.
  list_holder list{api};
  bool ok = true;
  auto given = [&](std::string_view name) {
    for (auto& [n, v] : rq.headers)
      if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0)
        return true;
    return false;
  };
  if (rq.defaults) {
    for (auto& [n, v] : default_headers) ok = ok && list.add(header_line(n, v));
    ok = ok && list.add("Expect:");
  } else {
    for (auto& [n, v] : rq.headers) ok = ok && list.add(header_line(n, v));
    for (const char* own : {"Accept", "Expect", "Content-Type"})
      if (!given(own)) ok = ok && list.add(std::string(own) + ":");
  }
  if (!ok) return outcome::no_connect;
  api->easy_setopt(h, CURLOPT_HTTPHEADER, list.list);

  CURLcode code = api->easy_perform(h);
  if (t.too_large) return outcome::too_large;
  if (t.interrupted) return outcome::interrupted;
  if (code != CURLE_OK) return outcome::no_connect;
  api->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &out.status);
  return outcome::answered;
}

}  // namespace kaz::http
