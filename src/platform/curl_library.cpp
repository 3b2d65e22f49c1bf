#include "platform/curl_library.h"

#include <dlfcn.h>

namespace kaz::http {

namespace {

template <typename F>
bool bind(void* lib, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(lib, name));
  return out != nullptr;
}

const curl_api* load() {
  static curl_api api{};
  void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return nullptr;
  bool ok = bind(lib, "curl_global_init", api.global_init) &&
            bind(lib, "curl_easy_init", api.easy_init) &&
            bind(lib, "curl_easy_cleanup", api.easy_cleanup) &&
            bind(lib, "curl_easy_setopt", api.easy_setopt) &&
            bind(lib, "curl_easy_getinfo", api.easy_getinfo) &&
            bind(lib, "curl_easy_perform", api.easy_perform) &&
            bind(lib, "curl_slist_append", api.slist_append) &&
            bind(lib, "curl_slist_free_all", api.slist_free_all);
  if (!ok || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return &api;
}

}  // namespace

const curl_api* curl_library() {
  static const curl_api* api = load();  // tried once
  return api;
}

}  // namespace kaz::http
