// HTTP(S): one synchronous request through libcurl, and the url! datatype's request service
// built on it. Certificates and host names are always verified; redirects are followed to http
// and https only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/cell.h"

namespace kaz::http {

// ---------------------------------------------------------------------------------------------
// The transfer (http_transfer.cpp): plain bytes in and out, no cells.

struct request {
  std::string method;  // upper case: GET, HEAD, POST or any other method name
  std::string url;     // as sent: percent-encoded where a URL cannot hold the character
  // Headers as given; when `defaults` is set they are the three default headers instead.
  std::vector<std::pair<std::string, std::string>> headers;
  bool defaults = false;
  bool has_body = false;
  std::vector<uint8_t> body;
};

struct response {
  long status = 0;
  // The final response's headers (after redirects), names as the server spelled them.
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<uint8_t> body;
};

// How a transfer ended.
enum class outcome {
  answered,    // the server answered (any status)
  no_connect,  // no connection, no name, TLS refused, a refused redirect, or a time-out
  too_large,   // the body would not fit in one series
  interrupted, // an interrupt (Ctrl-C) came: left pending, for the evaluator to halt
};

/*
 * Sends the request and waits for the whole answer. The connection waits at most 60 s; the
 * transfer gives up after 30 s in which no byte moved either way (the environment variable
 * KAZ_HTTP_IDLE_TIMEOUT, in seconds, shortens that for tests).
 */
outcome perform(const request& rq, response& out);

// ---------------------------------------------------------------------------------------------
// The url! service (http_service.cpp).

// Installs the request service of the url! datatype (start-up).
void init();

}  // namespace kaz::http
