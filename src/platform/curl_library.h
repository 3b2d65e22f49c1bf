// libcurl, loaded when the first HTTP request is made: linking it would load it and the dozens
// of libraries it needs at every start of the program, most of which never make a request.
#pragma once

#include <curl/curl.h>

namespace kaz::http {

// The libcurl functions the HTTP layer calls, by the names of libcurl's API without "curl_".
struct curl_api {
  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  void (*easy_cleanup)(CURL* h);
  CURLcode (*easy_setopt)(CURL* h, CURLoption option, ...);
  CURLcode (*easy_getinfo)(CURL* h, CURLINFO info, ...);
  CURLcode (*easy_perform)(CURL* h);
  curl_slist* (*slist_append)(curl_slist* list, const char* line);
  void (*slist_free_all)(curl_slist* list);
};

// The loaded and globally initialised library, or null when it cannot be had (the request then
// fails as a connection would).
const curl_api* curl_library();

}  // namespace kaz::http
